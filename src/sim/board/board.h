// The simulated board: the object models that the driver's handlers and the
// world share, one member per family. A member's default construction is its
// power-on state. Everything here runs under the board's lock, which the
// driver's dispatcher holds while a handler runs, so no model needs a lock of
// its own.
#pragma once

#include <cstdint>
#include <type_traits>

#include <zel/zel.h>

#include "attribute_model.h"
#include "device_model.h"
#include "event_queue_model.h"
#include "event_signal.h"
#include "register_model.h"

namespace zel::sim {

struct Board {
    DeviceModel devices;
    EventQueueState queues;
    RegisterState registers;
    AttributeState attributes;
    // Counts power-ons, so that layers above the board keep state of their
    // own and still start afresh with it.
    std::uint64_t powerOns = 0;

    // Power-on: every model returns to its default.
    void Reset();
};

// Runs fn(board, context) under the board's lock: the driver's dispatcher,
// the world's functions, its real-time thread and the scenario runner reach
// the one board this way.
void WithBoardLocked(void (*fn)(Board &board, void *context), void *context);

// Whether this process's simulator serves the driver's device (installed),
// and whether the library holds that device open.
bool SimulatorInstalled();
bool DriverDeviceOpen();

template <class F>
void WithBoard(F &&f) {
    WithBoardLocked([](Board &board, void *context) { (*static_cast<std::remove_reference_t<F> *>(context))(board); },
                    &f);
}

}  // namespace zel::sim
