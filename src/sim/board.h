// The simulated board's object model: the state that the request handlers
// share. Each family of handlers keeps its state in a struct of its own,
// declared in its own header and reached through Board::State<T>(); the
// struct's default construction is its power-on state. The dispatcher holds
// the board's lock whenever a handler runs, so family state needs no lock of
// its own.
#pragma once

#include <memory>
#include <unordered_map>

namespace zel::sim {

class Board {
public:
    Board() = default;
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // The family state of type T, built at its power-on value on first use.
    template <class T>
    T &State() {
        std::unique_ptr<Part> &slot = parts_[&kTag<T>];
        if (!slot) slot = std::make_unique<Holder<T>>();
        return static_cast<Holder<T> &>(*slot).value;
    }

    // Power-on: every family's state returns to its default.
    void Reset();

private:
    struct Part {
        virtual ~Part() = default;
    };
    template <class T>
    struct Holder final : Part {
        T value{};
    };
    // One distinct address per family type serves as its key.
    template <class T>
    static constexpr char kTag = 0;

    std::unordered_map<const void *, std::unique_ptr<Part>> parts_;
};

}  // namespace zel::sim
