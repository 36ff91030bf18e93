// The input service's lifetime, its enabled flag and cursor confinement.
#include "input/input_impl.h"

#include "contracts/diagnostics.h"
#include "input/key_table.h"
#include "input/sys_input_impl.h"
#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

InputImpl* g_inputImpl = nullptr;

namespace {

const char* const inputServiceName = "input";
const unsigned inputWarningChannel = 1;

} // namespace

DEFINE_INTERFACE_MEMBERS(InputInterface)

InputInterface* InputInterface::i() {
    return g_inputImpl;
}

InputImpl::InputImpl()
    : m_mouseX(0.0f), m_mouseY(0.0f), m_savedX(0.0f), m_savedY(0.0f), m_captureCount(0),
      m_enabled(false) {}

// A key table still present is left alone: it belongs to initialize and shutdown.
InputImpl::~InputImpl() {}

bool InputImpl::initialize() {
    if (!makeKeyTable())
        return false;
    setEnabled(true);
    confineCursor(true);
    centerMouse();
    return true;
}

bool InputImpl::shutdown() {
    confineCursor(false);
    setEnabled(false);
    freeKeyTable();
    // The pairs stay registered: they are the game's to remove.
    if (!m_genericCallbacks.empty())
        dbWarningfAux(inputWarningChannel, "%d generic key callbacks not deleted",
                      static_cast<int>(m_genericCallbacks.size()));
    return true;
}

void InputImpl::confineCursor(bool on) {
    if (!g_sysInputImpl)
        return;
    if (on)
        g_sysInputImpl->setClipRect(0.0f, 1.0f, 0.0f, 1.0f);
    else
        g_sysInputImpl->applyClipRect(false);
}

bool InputImpl::setEnabled(bool on) {
    const bool previous = m_enabled;
    m_enabled = on;
    return previous;
}

bool InputImpl::isEnabled() {
    return m_enabled;
}

bool createInputService() {
    return createService(g_inputImpl, inputServiceName);
}

bool destroyInputService() {
    return destroyService(g_inputImpl, inputServiceName);
}
