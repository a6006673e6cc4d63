// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qtdialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using kestavo::platform::QtDialogs;

namespace
{

// Answers the next modal dialog with answer() once it is shown. A watchdog
// closes any dialog still open after a few seconds, so a failing test ends
// instead of waiting on it.
class DialogAnswerer
{
public:
    explicit DialogAnswerer(std::function<void(QWidget*)> answer) : m_answer(std::move(answer))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && !m_answered) {
                m_answered = true;
                m_answer(modal);
            }
        });
        m_poll.start();
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        m_watchdog.start(5000);
    }

    [[nodiscard]] bool answered() const { return m_answered; }

private:
    std::function<void(QWidget*)> m_answer;
    QTimer m_poll;
    QTimer m_watchdog;
    bool m_answered = false;
};

TEST(QtDialogs, InputBoxShowsTitlePromptAndAnEmptyField)
{
    QString title;
    QString label;
    QString initial;
    DialogAnswerer answerer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        label = dialog->labelText();
        auto* field = dialog->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        initial = field->text();
        QTest::keyClicks(field, QStringLiteral(" 5 "));
        QTest::keyClick(field, Qt::Key_Return);
    });
    QtDialogs dialogs;
    const QString reply =
        dialogs.inputBox(QStringLiteral("Comport for Kestavo?"), QStringLiteral("Comport"), {});
    ASSERT_TRUE(answerer.answered());
    EXPECT_EQ(title, QStringLiteral("Comport"));
    EXPECT_EQ(label, QStringLiteral("Comport for Kestavo?"));
    EXPECT_EQ(initial, QString());
    EXPECT_EQ(reply, QStringLiteral(" 5 "));
}

TEST(QtDialogs, CancelGivesTheEmptyString)
{
    DialogAnswerer answerer([](QWidget* modal) {
        auto* field = modal->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, QStringLiteral("3"));
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QtDialogs dialogs;
    EXPECT_EQ(dialogs.inputBox(QStringLiteral("p"), QStringLiteral("t"), {}), QString());
    EXPECT_TRUE(answerer.answered());
}

TEST(QtDialogs, DetailsShowBelowThePromptWhileTheFieldKeepsTheKeyboard)
{
    const QString details = QStringLiteral("Ports found:\n42  /dev/pts/3  <b>port table</b>");
    QString label;
    QString shownDetails;
    Qt::TextFormat format = Qt::AutoText;
    bool belowPrompt = false;
    bool fieldHasFocus = false;
    DialogAnswerer answerer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        label = dialog->labelText();
        auto* detailsLabel = dialog->findChild<QLabel*>(QStringLiteral("details"));
        auto* field = dialog->findChild<QLineEdit*>();
        ASSERT_NE(detailsLabel, nullptr);
        ASSERT_NE(field, nullptr);
        shownDetails = detailsLabel->text();
        format = detailsLabel->textFormat();
        QLabel* prompt = nullptr;
        for (QLabel* candidate : dialog->findChildren<QLabel*>())
            if (candidate->text() == label)
                prompt = candidate;
        ASSERT_NE(prompt, nullptr);
        belowPrompt = detailsLabel->isVisible() && detailsLabel->y() > prompt->y();
        // The dialog's focus widget gets the keyboard once the window is
        // active, which the offscreen platform makes it asynchronously.
        QWidget* keyboard = dialog->focusWidget();
        fieldHasFocus = keyboard == field;
        ASSERT_NE(keyboard, nullptr);
        QTest::keyClicks(keyboard, QStringLiteral("42"));
        QTest::keyClick(keyboard, Qt::Key_Return);
    });
    QtDialogs dialogs;
    const QString reply = dialogs.inputBox(QStringLiteral("Comport for Kestavo?"),
                                           QStringLiteral("Comport"), details);
    ASSERT_TRUE(answerer.answered());
    EXPECT_EQ(label, QStringLiteral("Comport for Kestavo?"));
    EXPECT_EQ(shownDetails, details);
    EXPECT_EQ(format, Qt::PlainText) << "a device's description is no markup";
    EXPECT_TRUE(belowPrompt);
    EXPECT_TRUE(fieldHasFocus);
    EXPECT_EQ(reply, QStringLiteral("42"));
}

struct BoxLook {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool okOnly = false;
};

[[nodiscard]] BoxLook lookOfBox(const std::function<void(QtDialogs&)>& show)
{
    BoxLook look;
    DialogAnswerer answerer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        look.title = box->windowTitle();
        look.text = box->text();
        look.icon = box->icon();
        look.buttons = static_cast<int>(box->buttons().size());
        look.okOnly = box->standardButtons() == QMessageBox::Ok;
        box->button(QMessageBox::Ok)->click();
    });
    QtDialogs dialogs;
    show(dialogs);
    EXPECT_TRUE(answerer.answered());
    return look;
}

TEST(QtDialogs, WarningAndErrorBoxesCarryTheProgramNameAndOneOkButton)
{
    const BoxLook warning =
        lookOfBox([](QtDialogs& d) { d.warningBox(QStringLiteral("User pressed Cancel")); });
    EXPECT_EQ(warning.title, QStringLiteral("Kestavo"));
    EXPECT_EQ(warning.text, QStringLiteral("User pressed Cancel"));
    EXPECT_EQ(warning.icon, QMessageBox::Warning);
    EXPECT_EQ(warning.buttons, 1);
    EXPECT_TRUE(warning.okOnly);

    const BoxLook error = lookOfBox([](QtDialogs& d) { d.errorBox(QStringLiteral("failed")); });
    EXPECT_EQ(error.title, QStringLiteral("Kestavo"));
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_TRUE(error.okOnly);
}

} // namespace
