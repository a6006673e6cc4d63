#include "qtdialogs.h"

#include "constants.h"

#include <QInputDialog>
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

QString QtDialogs::inputBox(const QString& prompt, const QString& title)
{
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QString());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

void QtDialogs::warningBox(const QString& text)
{
    showMessage(QMessageBox::Warning, text);
}

void QtDialogs::errorBox(const QString& text)
{
    showMessage(QMessageBox::Critical, text);
}

} // namespace kestavo::platform
