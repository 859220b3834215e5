#pragma once

#include <QDialog>
#include <QIcon>

namespace emlo {

// The About box: the program's icon, its name and version, and a line about
// what it is for, with an OK button.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QString& appText, const QString& otherText, const QIcon& icon, QWidget* owner = nullptr);
};

// Shows the About box modally, owned by `owner`.
void showAboutBox(QWidget* owner, const QString& appText, const QString& otherText, const QIcon& icon);

}  // namespace emlo
