#include "register_model.h"

#include "board.h"

namespace zel::sim {
namespace {

constexpr std::uint32_t kIdBase = 0x5A530000u;
constexpr std::uint32_t kRevision = 0x00010407u;

constexpr std::uint32_t Bcd(std::uint32_t value) {
    std::uint32_t bcd = 0;
    for (std::uint32_t shift = 0; shift < 32 && value != 0; shift += 4, value /= 10) bcd |= (value % 10) << shift;
    return bcd;
}
static_assert(Bcd(201) == 0x0201u);

// The device's place in the layout, or nothing when hDevice names no open
// physical device.
std::optional<std::size_t> DeviceIndex(const DeviceModel &model, ZEL_HANDLE hDevice) {
    if (model.FindPhysical(hDevice) == nullptr) return std::nullopt;
    return IndexOf(hDevice);
}

bool InsideFile(std::uint32_t nRegister, std::uint32_t nWidth) {
    return nRegister < ZELSIM_REG_FILE_SIZE && nRegister % nWidth == 0 && nRegister + nWidth <= ZELSIM_REG_FILE_SIZE;
}

// The read-only head: identity, revision, live state and serial digits.
std::array<std::uint8_t, ZELSIM_REG_READ_ONLY_END> Head(const DeviceModel &model, ZEL_HANDLE hDevice) {
    const PhysicalDevice &device = *model.FindPhysical(hDevice);
    std::uint32_t state = 0;
    model.GetState(hDevice, &state);
    const std::array<std::uint32_t, 4> words = {
        kIdBase | (device.info->type << 8) | (device.number & 0xFFu),
        kRevision,
        state,
        Bcd(SerialDigits(device)),
    };
    std::array<std::uint8_t, ZELSIM_REG_READ_ONLY_END> head{};
    for (std::size_t i = 0; i < head.size(); ++i) head[i] = static_cast<std::uint8_t>(words[i / 4] >> (8 * (i % 4)));
    return head;
}

}  // namespace

RegisterAccess ReadRegister(Board &board, ZEL_HANDLE hDevice, std::uint32_t nRegister, std::uint32_t nWidth,
                            std::uint32_t *pnValue) {
    const DeviceModel &model = board.devices;
    const std::optional<std::size_t> index = DeviceIndex(model, hDevice);
    if (!index) return RegisterAccess::kNoDevice;
    if (!InsideFile(nRegister, nWidth)) return RegisterAccess::kBadRegister;
    const auto &file = board.registers.files[*index];
    const auto head = Head(model, hDevice);
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < nWidth; ++i) {
        const std::uint32_t at = nRegister + i;
        const std::uint8_t byte = at < ZELSIM_REG_READ_ONLY_END ? head[at] : file[at];
        value |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    *pnValue = value;
    return RegisterAccess::kOk;
}

RegisterAccess WriteRegister(Board &board, ZEL_HANDLE hDevice, std::uint32_t nRegister, std::uint32_t nWidth,
                             std::uint32_t nValue) {
    const std::optional<std::size_t> index = DeviceIndex(board.devices, hDevice);
    if (!index) return RegisterAccess::kNoDevice;
    if (!InsideFile(nRegister, nWidth)) return RegisterAccess::kBadRegister;
    if (nRegister < ZELSIM_REG_READ_ONLY_END) return RegisterAccess::kReadOnly;
    auto &file = board.registers.files[*index];
    for (std::uint32_t i = 0; i < nWidth; ++i) file[nRegister + i] = static_cast<std::uint8_t>(nValue >> (8 * i));
    return RegisterAccess::kOk;
}

void ClearRegisters(Board &board, ZEL_HANDLE hDevice) {
    const std::optional<std::size_t> index = DeviceIndex(board.devices, hDevice);
    if (index) board.registers.files[*index].fill(0);
}

}  // namespace zel::sim
