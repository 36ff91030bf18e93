// The text service: text entry on and off, the character queue and callback, its lifetime.
#include "input/text_input_impl.h"

#include "registry/interface_members.h"
#include "registry/service_lifetime.h"
#include "sys/system_library.h"

TextInputImpl* g_textInputImpl = nullptr;

namespace {

const char* const textInputServiceName = "TextInput";

// The wide peek is only wanted where the window's characters are converted to 8 bits on the
// way out of the queue, which is the NT family; the 98 family's queue holds 8-bit characters.
TextInputImpl::PeekCall bindWidePeek() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return nullptr;
    return bindSystemFunction<TextInputImpl::PeekCall>(GetModuleHandleA("user32.dll"),
                                                       "PeekMessageW");
}

} // namespace

DEFINE_INTERFACE_MEMBERS(TextInputInterface)

TextInputInterface* TextInputInterface::i() {
    return g_textInputImpl;
}

TextInputImpl::TextInputImpl()
    : m_active(false), m_callback(nullptr), m_userData(nullptr), m_queue(), m_queued(0),
      m_highSurrogate(0), m_leadByte(0), m_codePage(0), m_window(nullptr), m_peekWide(nullptr),
      m_parkedContext(nullptr) {}

// A game that opens its chat line from the callback of a key (T, say) must not find that key's
// character in the line: characters already queued for the window are typed before the start.
void TextInputImpl::startTextInput() {
    MSG earlier;
    while (m_window && PeekMessageA(&earlier, m_window, WM_CHAR, WM_CHAR, PM_REMOVE)) {
    }
    m_queued = 0;
    dropPartialCharacters();
    m_active = true;
    m_codePage = 0;
    m_peekWide = bindWidePeek();
    bindInputMethod();
    keepInputMethod(true);
}

void TextInputImpl::stopTextInput() {
    m_active = false;
    m_queued = 0;
    dropPartialCharacters();
    keepInputMethod(false);
}

bool TextInputImpl::isTextInputActive() {
    return m_active;
}

void TextInputImpl::setTextCallback(TextCallback callback, void* userData) {
    m_callback = callback;
    m_userData = userData;
}

unsigned TextInputImpl::readText(unsigned* codePoints, unsigned capacity) {
    if (!codePoints)
        return 0;
    const unsigned count = capacity < m_queued ? capacity : m_queued;
    for (unsigned i = 0; i < count; ++i)
        codePoints[i] = m_queue[i];
    for (unsigned i = count; i < m_queued; ++i)
        m_queue[i - count] = m_queue[i];
    m_queued -= count;
    return count;
}

// Queued first, so the callback may read the queue and find the character there.
void TextInputImpl::deliver(unsigned codePoint) {
    if (m_queued < queueCapacity)
        m_queue[m_queued++] = codePoint;
    if (m_callback)
        m_callback(codePoint, m_userData);
}

// Half a character left from before a start or stop must not join the next one.
void TextInputImpl::dropPartialCharacters() {
    m_highSurrogate = 0;
    m_leadByte = 0;
}

bool createTextInputService() {
    return createService(g_textInputImpl, textInputServiceName);
}

bool destroyTextInputService() {
    return destroyService(g_textInputImpl, textInputServiceName);
}
