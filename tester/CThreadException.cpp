#include "tester/CThreadException.h"

#include "platform/MessageBox.h"

#include <cstring>

void CThreadException::ReportError(platform::MessageBox& box) const {
    box.Show(m_message, platform::MessageBox::Ok);
}

std::string SystemErrorText(int error) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}
