#include "installer/QuilletMessageBox.h"
#include "tests/support/QtApp.h"
#include "ui/QtMessageBox.h"
#include "widgets/MessageBoxDialog.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

// orv's and Quillet's boxes agree: the title is exactly the caption, and a notice that all is well carries the
// information icon.
TEST(MessageBoxes, OrvAndQuilletShowTheCaptionAloneAndTheInformationIcon) {
    QtApp();
    platform::QtMessageBox orv(nullptr, false); // the box itself, although no one sees it here
    QuilletMessageBox quillet;
    QStringList titles;
    QTimer timer; // answers each box once it shows
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            titles << box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        }
    });
    timer.start(10);
    EXPECT_EQ(orv.Show("You system is OK.", platform::MessageBox::OkInformation), platform::MessageBox::AnswerOk);
    EXPECT_EQ(quillet.ShowWithCaption("text", "Install Firefox ORV Extension", platform::MessageBox::OkInformation),
              platform::MessageBox::AnswerOk);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("ORV"), QStringLiteral("Install Firefox ORV Extension")}));
}

// The one mapping both programs use: the buttons each kind of box offers, and the answer each button gives.
TEST(MessageBoxes, EachKindOffersItsButtonsAndEachButtonItsAnswer) {
    QtApp();
    using platform::MessageBox;
    const struct {
        MessageBox::Buttons buttons;
        QMessageBox::StandardButtons offered;
        QMessageBox::StandardButton click;
        MessageBox::Answer answer;
    } cases[] = {
        {MessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, MessageBox::AnswerOk},
        {MessageBox::OkInformation, QMessageBox::Ok, QMessageBox::Ok, MessageBox::AnswerOk},
        {MessageBox::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, MessageBox::AnswerYes},
        {MessageBox::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, MessageBox::AnswerNo},
        {MessageBox::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, MessageBox::AnswerOk},
        {MessageBox::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, MessageBox::AnswerCancel},
    };
    for (const auto& c : cases) {
        QMessageBox::StandardButtons offered;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                offered = box->standardButtons();
                box->button(c.click)->click();
            }
        });
        timer.start(10);
        EXPECT_EQ(widgets::ExecMessageBox("caption", "text", c.buttons, nullptr), c.answer) << c.click;
        EXPECT_EQ(offered, c.offered) << c.buttons;
    }
}
