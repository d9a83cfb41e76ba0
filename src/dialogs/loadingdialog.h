#pragma once
// A dialog that fills its controls from the settings on its first opening in a program run and
// again after it was closed with the window's close box. OK and Cancel only hide it, so every
// other opening shows what it held when it was hidden.

#include <QDialog>

class LoadingDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    // Fills the controls from the settings.
    virtual void load() = 0;
    // Work of every opening: before the controls are (re)loaded, and after.
    virtual void opening() { }
    virtual void opened() { }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_needsLoad = true;
};
