#include "dialogs/loadingdialog.h"

#include <QShowEvent>

void LoadingDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // shown again by the window system, not opened by the program
    opening();
    if (m_needsLoad) {
        m_needsLoad = false;
        load();
    }
    opened();
}

void LoadingDialog::closeEvent(QCloseEvent* event)
{
    // The close box drops what was typed: the next opening reads the settings again.
    m_needsLoad = true;
    QDialog::closeEvent(event);
}
