#pragma once

#include <QDialog>

#include "ui/Twips.h"

class QLabel;
class QPushButton;

// The modal About box: product, version, purpose, a picture of a tracked comet, the rights
// notice and the contact line. Created afresh for every opening and destroyed on closing.
class frmAbout : public QDialog {
    Q_OBJECT

  public:
    // Creates, loads and shows the box application-modal with no owner; returns once closed.
    static void Open();

    frmAbout();
    void Form_Load();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const TwipsScale twips_;  // the box's font against the design font, taken once
    QPushButton* cmdOK;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QLabel* lblTitle;
    QLabel* Address;
    QLabel* Image1;
};
