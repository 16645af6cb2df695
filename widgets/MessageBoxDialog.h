#pragma once

#include "platform/MessageBox.h"

class QString;
class QWidget;

namespace widgets {

// A modal QMessageBox over owner with the buttons and icon that buttons asks for; the answer in the
// message-box interface's terms (a box closed without a choice gives MessageBox::Declined). Shared by orv's
// and Quillet's boxes, which differ only in caption and text encoding.
platform::MessageBox::Answer ExecMessageBox(const QString& caption, const QString& text,
                                            platform::MessageBox::Buttons buttons, QWidget* owner);

} // namespace widgets
