// The simulated board's registers: a 256-byte register file per physical
// device (map in zelsim_board.h). Family state of the board; the board's
// lock guards it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <zel/zel.h>
#include <zel/zelsim_board.h>

#include "device_model.h"

namespace zel::sim {

struct Board;

struct RegisterState {
    // The writable part of every device's file, by the device's place in
    // the board's layout; the read-only head is computed when read.
    std::array<std::array<std::uint8_t, ZELSIM_REG_FILE_SIZE>, kBoardDeviceCount> files{};
};

enum class RegisterAccess { kOk, kNoDevice, kBadRegister, kReadOnly };

// Reads or writes nWidth (1, 2 or 4) bytes at nRegister of the physical
// device hDevice. A write keeps the low nWidth bytes of nValue.
RegisterAccess ReadRegister(Board &board, ZEL_HANDLE hDevice, std::uint32_t nRegister, std::uint32_t nWidth,
                            std::uint32_t *pnValue);
RegisterAccess WriteRegister(Board &board, ZEL_HANDLE hDevice, std::uint32_t nRegister, std::uint32_t nWidth,
                             std::uint32_t nValue);

// A reset clears the writable part of a physical device's file; other
// handles are ignored.
void ClearRegisters(Board &board, ZEL_HANDLE hDevice);

// The device's serial number digits: type and number, two digits each.
constexpr std::uint32_t SerialDigits(const PhysicalDevice &device) {
    return (device.info != nullptr ? device.info->type : 0) * 100 + device.number;
}

}  // namespace zel::sim
