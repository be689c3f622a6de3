#pragma once

// One run of the program for the window tests: its record, its boxes, a settings file of
// its own, and the main window started from them.
#include <QPointer>
#include <QTemporaryDir>

#include "core/TrackParams.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowHelpers.h"
#include "ui/MainForm.h"

// Each test starts from a fresh run; the windows it leaves open go with it.
class ProgramRun {
  public:
    ProgramRun() = default;
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    ~ProgramRun() {
        // Open dialogs refer to this record; they go before it does.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "SetupForm") delete w;
        delete form_.data();
        DeleteLaterNow();
    }

    QString iniPath() const { return dir_.filePath("Pelindra.ini"); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    void writeSettings(const QByteArray& bytes) { WriteAll(iniPath(), bytes); }

    // As the program starts: create, load, show. Deleted when closed, like the real one.
    MainForm* start() {
        form_ = new MainForm(params, dialogs, iniPath().toStdString(), [this] { return now; });
        form_->setAttribute(Qt::WA_DeleteOnClose);
        form_->Form_Load();
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_)) qWarning("main window not exposed");
        return form_;
    }

    MainForm* form() const { return form_; }

    Pelindra::Core::TrackParams params;
    RecordingDialogs dialogs;
    Pelindra::Ephemeris::UtcMs now = 0;  // the clock the windows read

  private:
    QTemporaryDir dir_;
    QPointer<MainForm> form_;
};
