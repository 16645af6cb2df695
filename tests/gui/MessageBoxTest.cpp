#include "installer/QuilletMessageBox.h"
#include "tests/support/QtApp.h"
#include "ui/QtMessageBox.h"

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
