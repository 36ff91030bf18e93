// Raw mouse input: registration, one report per WM_INPUT, and the batched read of what is still
// queued. Raw input's records are Windows XP's; the calls are bound at run time from user32,
// so the library imports nothing newer than 98 SE and 2000.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0501

#include "input/mouse_motion_impl.h"

#include "sys/system_library.h"

#include <cstddef>

namespace {

const USHORT genericDesktopPage = 0x01;
const USHORT mouseUsage = 0x02;

// A record fits its slot in the batch, also with a 32-bit process's padding.
static_assert(sizeof(RAWINPUT) + (sizeof(void*) == 4 ? 8 : 0) <= 48, "48 bytes a record");
// A queue that never empties (a system that does not remove what it hands out) cannot hold
// the frame: at most this many batches per read.
const int maxBatchesPerRead = 64;

typedef BOOL(WINAPI* Wow64Query)(HANDLE, BOOL*);

// 8 where a 32-bit process runs on 64-bit Windows, whose batch read writes the 64-bit header.
unsigned batchHeaderPadding() {
    if (sizeof(void*) != 4)
        return 0;
    auto isWow64 =
        bindSystemFunction<Wow64Query>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? 8 : 0;
}

// The batch's records start on 8-byte boundaries on 64-bit Windows, also for a 32-bit process.
size_t recordStep(DWORD size, unsigned padding) {
    const size_t alignment = sizeof(void*) == 8 || padding ? 8 : sizeof(DWORD);
    return (size + alignment - 1) & ~(alignment - 1);
}

} // namespace

bool MouseMotionImpl::bindRawCalls() {
    const HMODULE user = GetModuleHandleA("user32.dll");
    m_raw.registerDevices =
        bindSystemFunction<decltype(m_raw.registerDevices)>(user, "RegisterRawInputDevices");
    m_raw.getData = bindSystemFunction<decltype(m_raw.getData)>(user, "GetRawInputData");
    m_raw.getBuffer = bindSystemFunction<decltype(m_raw.getBuffer)>(user, "GetRawInputBuffer");
    m_batchHeaderPadding = batchHeaderPadding();
    return m_raw.registerDevices && m_raw.getData && m_raw.getBuffer;
}

// The mouse's reports go to whichever window of the thread has the keyboard focus: the game's.
// Legacy mouse messages stay on, since buttons and the wheel still reach the key table.
bool MouseMotionImpl::registerRawMouse(bool on) {
    if (on && !bindRawCalls())
        return false;
    RAWINPUTDEVICE device = {genericDesktopPage, mouseUsage, DWORD(on ? 0 : RIDEV_REMOVE), nullptr};
    return m_raw.registerDevices(&device, 1, sizeof device) != FALSE;
}

void MouseMotionImpl::handleWindowMessage(UINT message, LPARAM lParam) {
    if (message == WM_INPUT && m_mode == raw)
        takeRawReport(reinterpret_cast<HANDLE>(lParam));
}

void MouseMotionImpl::takeRawReport(HANDLE input) {
    RAWINPUT report;
    UINT size = sizeof report;
    const UINT read = m_raw.getData(input, RID_INPUT, &report, &size, sizeof(RAWINPUTHEADER));
    if (read == UINT(-1) || read < sizeof(RAWINPUTHEADER) || report.header.dwType != RIM_TYPEMOUSE)
        return;
    addRawMotion(&report.data.mouse);
}

// Reports still queued are read a batch at a time, so a mouse reporting at 1000 Hz costs the
// frame a few calls instead of a window message per report.
void MouseMotionImpl::takeRawBatches() {
    for (int batch = 0; batch < maxBatchesPerRead; ++batch) {
        UINT size = sizeof m_batch;
        const UINT count = m_raw.getBuffer(m_batch, &size, sizeof(RAWINPUTHEADER));
        if (count == 0 || count == UINT(-1))
            return;
        size_t offset = 0;
        for (UINT i = 0; i < count && offset + sizeof(RAWINPUTHEADER) <= sizeof m_batch; ++i) {
            const RAWINPUT* record = reinterpret_cast<const RAWINPUT*>(m_batch + offset);
            const size_t dataOffset = offset + offsetof(RAWINPUT, data) + m_batchHeaderPadding;
            if (record->header.dwType == RIM_TYPEMOUSE &&
                dataOffset + sizeof(RAWMOUSE) <= sizeof m_batch)
                addRawMotion(m_batch + dataOffset);
            offset += recordStep(record->header.dwSize, m_batchHeaderPadding);
        }
    }
}

// Only relative reports are motion; a tablet's or a remote session's absolute positions are
// left to the cursor.
void MouseMotionImpl::addRawMotion(const void* data) {
    const RAWMOUSE* mouse = static_cast<const RAWMOUSE*>(data);
    if (mouse->usFlags & MOUSE_MOVE_ABSOLUTE)
        return;
    m_rawX += mouse->lLastX;
    m_rawY += mouse->lLastY;
}
