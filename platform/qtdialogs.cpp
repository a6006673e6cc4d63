// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtdialogs.h"

#include "constants.h"

#include <QBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace kestavo::platform
{
namespace
{

void showMessage(QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, QString(constants::kProgramName), text, QMessageBox::Ok);
    // A description quotes files and paths; "<b>" there is text, not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& details)
{
    prepare();
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QString());
    if (!details.isEmpty()) {
        // QInputDialog lays itself out on the first size hint or show; the
        // details go between its prompt and its field. Plain text, so that a
        // device's description is never taken for markup; a label takes no
        // focus, so typing still goes to the field.
        [[maybe_unused]] const QSize laidOut = dialog.sizeHint();
        auto* detailsLabel = new QLabel(details, &dialog);
        detailsLabel->setObjectName(QStringLiteral("details"));
        detailsLabel->setTextFormat(Qt::PlainText);
        detailsLabel->setFocusPolicy(Qt::NoFocus);
        if (auto* layout = qobject_cast<QBoxLayout*>(dialog.layout()))
            layout->insertWidget(1, detailsLabel);
        else
            detailsLabel->hide(); // never over the field; the prompt still asks
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

void QtDialogs::warningBox(const QString& text)
{
    prepare();
    showMessage(QMessageBox::Warning, text);
}

void QtDialogs::errorBox(const QString& text)
{
    prepare();
    showMessage(QMessageBox::Critical, text);
}

void QtDialogs::prepare() const
{
    if (m_beforeShowing)
        m_beforeShowing();
}

} // namespace kestavo::platform
