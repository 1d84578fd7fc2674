#pragma once

// Shared by the board sheet's tests: ways to type into the sheet and wait for its writes, and
// the store tests' history whose writes can be held and failed.

#include "../../TolviCore/store/StoreTestSupport.h"

#include "Tolvi/inspector/BoardManagementView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <functional>

namespace tolvi::test {

using tolvi::testing::GatedPersistence;

// Runs the event loop until the condition holds (five seconds at most); whether it does.
inline bool eventually(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Replaces the field's text as typing would (every key an edit).
inline void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

inline QAbstractButton* dialogButton(QMessageBox* box, const QString& text)
{
    if (!box)
        return nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace tolvi::test
