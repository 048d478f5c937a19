#pragma once
// Driving a modal dialog in a test: find its controls by their design IDs
// and run exec() with steps done once it is shown.

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// The child of that objectName (a design ID); a test failure when missing.
template <class T>
T* Child(QWidget& dialog, const char* id)
{
    T* child = dialog.findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(child, nullptr) << id;
    return child;
}

// Runs the dialog, doing steps once it is shown and active, then presses
// the button of the given id ("1" OK, "2" Cancel). Returns exec()'s code.
inline int RunDialog(QDialog& dialog, const std::function<void()>& steps, const char* closeWith)
{
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        steps();
        Child<QPushButton>(dialog, closeWith)->click();
    });
    return dialog.exec();
}
