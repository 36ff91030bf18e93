// The gamepad service: its lifetime, the slots and the paced probing for new pads.
#include "input/gamepad_impl.h"

#include "registry/float_rounding.h"
#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

#include <cstring>

GamepadImpl* g_gamepadImpl = nullptr;

namespace {

const char* const gamepadServiceName = "Gamepad";
const int fullDeflection = 32767;
// XInput's advice for the left stick, 7849 of 32767.
const float defaultDeadZone = 0.24f;
// Probes are one call each; twenty of them (four XInput slots, sixteen joystick ids) take a
// second.
const DWORD probeMilliseconds = 50;

} // namespace

DEFINE_INTERFACE_MEMBERS(GamepadInterface)

GamepadInterface* GamepadInterface::i() {
    return g_gamepadImpl;
}

float stickAxis(int raw, int deadZone) {
    int magnitude = raw < 0 ? -raw : raw;
    if (magnitude > fullDeflection)
        magnitude = fullDeflection;
    if (magnitude <= deadZone)
        return 0.0f;
    const float value = roundedQuotient(magnitude - deadZone, fullDeflection - deadZone);
    return raw < 0 ? -value : value;
}

int joystickUnits(UINT position, UINT low, UINT high) {
    if (high <= low)
        return 0;
    if (position < low)
        position = low;
    if (position > high)
        position = high;
    return int(LONGLONG(position - low) * (2 * fullDeflection) / (high - low)) - fullDeflection;
}

GamepadImpl::GamepadImpl()
    : m_slots(), m_initialized(false), m_deadZone(0), m_deadZoneUnits(0), m_callback(nullptr),
      m_callbackData(nullptr), m_probeCursor(0), m_joystickCount(0), m_probeDue(false),
      m_lastProbe(0), m_xinput(nullptr), m_winmm(nullptr), m_user32(nullptr), m_getState(nullptr),
      m_setState(nullptr), m_joyCount(nullptr), m_joyCaps(nullptr), m_joyPosition(nullptr),
      m_deviceList(nullptr), m_deviceInfo(nullptr) {
    setDeadZone(defaultDeadZone);
}

bool GamepadImpl::initialize() {
    if (m_initialized)
        return true;
    bindXInput();
    bindJoysticks();
    if (!m_getState && !m_joyPosition) {
        shutdown();
        return false;
    }
    // The first probe starts a new round, which reads how many joystick ids there are now.
    m_probeDue = true;
    m_probeCursor = xinputSlots + maxJoysticks;
    m_initialized = true;
    return true;
}

// Called by the game, never from the DLL's unload, so the libraries may be freed here.
void GamepadImpl::shutdown() {
    for (int pad = 0; pad < maxPads; ++pad)
        setRumble(pad, 0, 0);
    forgetPads();
    HMODULE* const libraries[] = {&m_xinput, &m_winmm, &m_user32};
    for (HMODULE* library : libraries) {
        if (*library)
            FreeLibrary(*library);
        *library = nullptr;
    }
    m_getState = nullptr;
    m_setState = nullptr;
    m_joyCount = nullptr;
    m_joyCaps = nullptr;
    m_joyPosition = nullptr;
    m_deviceList = nullptr;
    m_deviceInfo = nullptr;
    m_initialized = false;
}

void GamepadImpl::forgetPads() {
    std::memset(m_slots, 0, sizeof m_slots);
}

// Connected pads are read every frame; a failed read is the pad leaving.
void GamepadImpl::update() {
    if (!m_initialized)
        return;
    for (int pad = 0; pad < maxPads; ++pad) {
        Slot& slot = m_slots[pad];
        if (!slot.state.connected)
            continue;
        const bool read = slot.state.source == xinput ? readXInput(slot) : readJoystick(slot);
        if (!read)
            disconnect(pad);
    }
    probeNext();
}

// One empty XInput slot or joystick id per probe, round the list: a frame never pays for a
// whole enumeration, which with winmm reads the registry for every id. The tick count is the
// cheaper clock (the performance counter can cost a system call per read); the difference of
// two stays right across its wrap after 49.7 days.
void GamepadImpl::probeNext() {
    const DWORD now = GetTickCount();
    if (!m_probeDue && now - m_lastProbe < probeMilliseconds)
        return;
    m_probeDue = false;
    m_lastProbe = now;
    const int xinputCount = m_getState ? int(xinputSlots) : 0;
    // At most one pass round the list: when every device found is in a slot, nothing is due.
    for (bool wrapped = false;;) {
        if (m_probeCursor >= xinputCount + m_joystickCount) {
            if (wrapped)
                return;
            wrapped = true;
            m_probeCursor = 0;
            const UINT ids = m_joyCount ? m_joyCount() : 0;
            m_joystickCount = ids < UINT(maxJoysticks) ? int(ids) : int(maxJoysticks);
        }
        const int item = m_probeCursor++;
        const bool isXInput = item < xinputCount;
        const int device = isXInput ? item : item - xinputCount;
        if (slotOf(isXInput ? xinput : joystick, device) >= 0)
            continue;
        if (isXInput)
            probeXInput(device);
        else
            probeJoystick(device);
        return;
    }
}

int GamepadImpl::slotOf(int source, int device) const {
    for (int pad = 0; pad < maxPads; ++pad) {
        const Slot& slot = m_slots[pad];
        if (slot.state.connected && slot.state.source == source && slot.device == device)
            return pad;
    }
    return -1;
}

int GamepadImpl::freeSlot() const {
    for (int pad = 0; pad < maxPads; ++pad) {
        if (!m_slots[pad].state.connected)
            return pad;
    }
    return -1;
}

// The slot's state was filled by the probe that found the pad.
void GamepadImpl::connect(int pad, int source, int device) {
    Slot& slot = m_slots[pad];
    slot.state.connected = true;
    slot.state.source = source;
    slot.device = device;
    if (m_callback)
        m_callback(pad, true, m_callbackData);
}

void GamepadImpl::disconnect(int pad) {
    std::memset(&m_slots[pad], 0, sizeof m_slots[pad]);
    if (m_callback)
        m_callback(pad, false, m_callbackData);
}

bool GamepadImpl::getState(int pad, GamepadState* state) {
    if (pad < 0 || pad >= maxPads || !state)
        return false;
    *state = m_slots[pad].state;
    return true;
}

// NOTE: the fraction is a float and 32767 needs 15 bits, so the product is exact in double
// on both builds and the threshold is the same integer on each.
bool GamepadImpl::setDeadZone(float fraction) {
    if (!(fraction >= 0.0f && fraction < 1.0f))
        return false;
    m_deadZone = fraction;
    m_deadZoneUnits = int(double(fraction) * fullDeflection + 0.5);
    for (Slot& slot : m_slots)
        slot.mapped = false;
    return true;
}

float GamepadImpl::getDeadZone() {
    return m_deadZone;
}

void GamepadImpl::setConnectionCallback(ConnectionCallback callback, void* userData) {
    m_callback = callback;
    m_callbackData = userData;
}

bool createGamepadService() {
    return createService(g_gamepadImpl, gamepadServiceName);
}

bool destroyGamepadService() {
    return destroyService(g_gamepadImpl, gamepadServiceName);
}
