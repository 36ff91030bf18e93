// The system input service: the cursor, its shapes, the callbacks and the service's lifetime.
#include "input/sys_input_impl.h"

#include "input/coordinates.h"
#include "registry/float_rounding.h"
#include "registry/service_lifetime.h"

#include <new>

SysInputImpl* g_sysInputImpl = nullptr;

namespace {

const char* const sysInputServiceName = "SysIn";

} // namespace

SysInputImpl::SysInputImpl()
    : m_clientArea(), m_captureCallback(nullptr), m_wheelMessage(0), m_clipMinX(0.0f),
      m_clipMaxX(1.0f), m_clipMaxY(1.0f), m_clipMinY(0.0f), m_confineToWindow(true) {}

SysInputImpl::~SysInputImpl() {}

HCURSOR SysInputImpl::loadCursorFromFile(const char* fileName) {
    return LoadCursorFromFileA(fileName);
}

bool SysInputImpl::init() {
    m_captureCallback = nullptr;
    // Mouse drivers older than WM_MOUSEWHEEL announce turns with this message.
    m_wheelMessage = RegisterWindowMessageA("MSWHEEL_ROLLMSG");
    return true;
}

const ClientArea& SysInputImpl::clientArea() const {
    return m_clientArea;
}

int SysInputImpl::toScreenX(float x) {
    return screenX(m_clientArea, x);
}

int SysInputImpl::toScreenY(float y) {
    return screenY(m_clientArea, y);
}

float SysInputImpl::toNormalizedX(int x) {
    return normalizedX(m_clientArea, x);
}

float SysInputImpl::toNormalizedY(int y) {
    return normalizedY(m_clientArea, y);
}

float SysInputImpl::toNormalizedHeight(int pixels) {
    return normalizedHeight(m_clientArea, pixels);
}

// The cursor is read when asked, never taken from messages.
void SysInputImpl::getCursorPosition(float* x, float* y) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (x)
        *x = toNormalizedX(cursor.x);
    if (y)
        *y = toNormalizedY(cursor.y);
}

bool SysInputImpl::setCursorPosition(float x, float y) {
    return SetCursorPos(toScreenX(x), toScreenY(y)) != FALSE;
}

void SysInputImpl::setCaptureCallback(CaptureCallback callback) {
    m_captureCallback = callback;
}

CaptureCallback SysInputImpl::getCaptureCallback() {
    return m_captureCallback;
}

float SysInputImpl::getDragThreshold() {
    return roundedQuotient(GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CXSCREEN));
}

// Out of memory leaves the callback out rather than throw across the module boundary.
void SysInputImpl::addKeyCallback(int code, SysKeyCallback callback) {
    try {
        m_keyCallbacks.push_back(KeyCallbackEntry{code, callback});
    } catch (const std::bad_alloc&) {
        return;
    }
}

HCURSOR SysInputImpl::setCursor(HCURSOR cursor) {
    return SetCursor(cursor);
}

bool createSysInputService() {
    return createService(g_sysInputImpl, sysInputServiceName);
}

bool destroySysInputService() {
    return destroyService(g_sysInputImpl, sysInputServiceName);
}
