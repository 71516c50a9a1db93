#include "QtPrompts.h"

#include <QApplication>
#include <QMessageBox>

QtPrompts::QtPrompts(QWidget *parent)
    : m_parent(parent)
{
}

void QtPrompts::ShowMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtPrompts::askWarningYesNo(const QString &question)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), question,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() != QMessageBox::No;
}
