#include "ui/EphemerisForm.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "ephemeris/TableRules.h"
#include "ephemeris/UtcTime.h"
#include "ui/UtcTimeEdit.h"

using namespace Pelindra::Ephemeris;

namespace {

constexpr int kMillisecondsPerSecond = 1000;

// The editor shows whole seconds, and so does every time the window picks itself.
UtcMs WholeSeconds(UtcMs time) {
    return time -
           ((time % kMillisecondsPerSecond) + kMillisecondsPerSecond) % kMillisecondsPerSecond;
}

// "2025-11-12 16:43:42 UTC", with milliseconds only when there are any.
QString UtcText(UtcMs time) {
    return QString::fromStdString(UtcTimeText(time));
}

// Fixed decimals with the user's decimal mark, as the offsets show it; no grouping, and
// no "-0.00" for a value that rounds to zero.
QString Fixed(double value, int decimals) {
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

// What the motion boxes show at a time the table does not cover, or gives no rate for.
const QString kOutside = QStringLiteral("none at this time");

QLabel* Caption(const char* text) {
    return new QLabel(QString::fromUtf8(text));
}

// A value the user may want to copy into other software (guiding programs take rates).
QLabel* Value(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(name);
    // Reached from its caption's access letter and by Tab, and copied from the keyboard too.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

// Words beside a value that say what it is; copied as the value is, not a caption.
QLabel* Aside(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QFrame* Rule() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

UtcMs SystemUtcNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

EphemerisForm::EphemerisForm(UtcClock clock, QWidget* owner)
    : QDialog(owner), clock_(std::move(clock)) {
    setObjectName("EphemerisForm");
    setWindowTitle("Ephemeris");
    buildControls();
}

void EphemerisForm::buildControls() {
    target_ = Value("target");
    site_ = Value("site");
    span_ = Value("span");
    step_ = Value("step");
    origin_ = Value("origin");
    timeEdit_ = new UtcTimeEdit;
    timeEdit_->setObjectName("time");
    timeEdit_->setToolTip(
        "The time of the exposure in UTC; Use, Save, the preview, PHD2 and the mount all take "
        "the motion at this moment");
    now_ = new QPushButton("&Now");
    now_->setObjectName("now");
    now_->setToolTip("The current time, kept up to date");
    note_ = new QLabel;
    note_->setObjectName("note");
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note_->setWordWrap(true);
    note_->hide();
    cutNote_ = new QLabel;
    cutNote_->setObjectName("cutNote");
    cutNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cutNote_->setWordWrap(true);
    cutNote_->hide();
    motionPerMinute_ = Value("motionPerMinute");
    motionPerHour_ = Value("motionPerHour");
    positionAngle_ = Value("positionAngle");
    eastRate_ = Value("eastRate");
    northRate_ = Value("northRate");
    follow_ = new QCheckBox("&Follow the ephemeris when saving");
    follow_->setObjectName("follow");
    follow_->setToolTip(
        "Save writes a track whose steps follow the changing rate from the time above; "
        "unticked, it uses the Motion and PA of the main window");
    use_ = new QPushButton("&Use");
    use_->setObjectName("use");
    use_->setToolTip("Write this motion and position angle into the main window");
    use_->setDefault(true);
    close_ = new QPushButton("&Close");
    close_->setObjectName("close");

    auto* timeLabel = Caption("&Time (UTC):");
    timeLabel->setBuddy(timeEdit_);
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(timeEdit_);
    timeRow->addWidget(now_);
    timeRow->addStretch();

    ensurePolished();  // a style sheet's font counts from here on
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](QLabel* caption, QWidget* value, QWidget* more = nullptr) {
        // As for the offsets: the value is what a screen reader speaks, the caption says
        // what it is.
        value->setAccessibleDescription(caption->text().remove('&').chopped(1));
        caption->setBuddy(value);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1, 1, more ? 1 : 2);
        if (more) grid->addWidget(more, row, 2);
        ++row;
    };
    addRow(Caption("Tar&get:"), target_);
    addRow(Caption("O&bserver:"), site_);
    addRow(Caption("Co&vers:"), span_);
    addRow(Caption("&Step:"), step_);
    addRow(Caption("&Read from:"), origin_);
    grid->addWidget(cutNote_, row++, 1, 1, 2);
    grid->addWidget(Rule(), row++, 0, 1, 3);
    grid->addWidget(timeLabel, row, 0);
    grid->addLayout(timeRow, row++, 1, 1, 2);
    grid->addWidget(note_, row++, 1, 1, 2);
    grid->addWidget(Rule(), row++, 0, 1, 3);
    addRow(Caption("&Motion:"), motionPerMinute_, motionPerHour_);
    motionPerHour_->setAccessibleDescription("Motion");
    addRow(Caption("&Position angle:"), positionAngle_);
    addRow(Caption("&East rate:"), eastRate_, Aside("RA rate \xC3\x97 cos(Dec)"));
    addRow(Caption("N&orth rate:"), northRate_, Aside("Dec rate"));
    grid->addWidget(Rule(), row++, 0, 1, 3);
    grid->addWidget(follow_, row++, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    // Room between the two columns of values, which are read across.
    grid->setHorizontalSpacing(2 * fontMetrics().averageCharWidth());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(use_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(buttons);
    // As large as its content, which changes with the table shown.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(timeEdit_, &QDateTimeEdit::dateTimeChanged, this, &EphemerisForm::timeEdited);
    connect(timeEdit_, &UtcTimeEdit::wholeTimeRefused, this, [this](const QString& text) {
        note_->setText("\"" + text + "\" is not a time; write it as 2026-12-07 21:30:00.");
        note_->show();
    });
    connect(now_, &QPushButton::clicked, this, &EphemerisForm::nowClicked);
    connect(use_, &QPushButton::clicked, this, &EphemerisForm::useClicked);
    connect(follow_, &QCheckBox::toggled, this, &EphemerisForm::followChanged);
    connect(close_, &QPushButton::clicked, this, &EphemerisForm::close);

    // While the time is "now", the box keeps showing the time that would be used.
    auto* clockTick = new QTimer(this);
    clockTick->setInterval(kMillisecondsPerSecond);
    connect(clockTick, &QTimer::timeout, this, [this] {
        if (followsNow_ && isVisible() && !timeEdit_->hasFocus()) {
            goTo(std::nullopt);
            showTime();
        }
    });
    clockTick->start();
}

void EphemerisForm::showTable(Table table, const QString& origin, std::optional<UtcMs> time) {
    table_ = std::move(table);
    const auto text = [](const std::string& value) {
        return value.empty() ? QString("(not stated)") : QString::fromStdString(value);
    };
    target_->setText(text(table_.target));
    site_->setText(text(table_.site));
    const std::size_t rows = table_.rows.size();
    const QString count = rows == 1 ? QString("1 row") : QString("%1 rows").arg(rows);
    step_->setText(table_.step.empty() ? count
                                       : QString::fromStdString(table_.step) + ", " + count);
    origin_->setText(origin);
    if (table_.cutShort) {
        QString note = QString::fromStdString(CutShortNote(table_));
        note[0] = note[0].toUpper();
        cutNote_->setText(note + ".");
    }
    cutNote_->setVisible(table_.cutShort);
    if (rows > 0) {
        const UtcMs first = table_.rows.front().time;
        const UtcMs last = table_.rows.back().time;
        span_->setText(UtcText(first) + " to " + UtcText(last));
    } else {
        span_->setText("no row with a rate");
    }
    goTo(time);
    showTime();
    timeEdit_->setFocus();
}

std::optional<UtcMs> EphemerisForm::chosenTime() const {
    if (followsNow_) return std::nullopt;
    return time_;
}

void EphemerisForm::setFollow(bool follow) {
    const QSignalBlocker quiet(follow_);
    follow_->setChecked(follow);
}

bool EphemerisForm::follows() const {
    return follow_->isChecked();
}

UtcMs EphemerisForm::timeInUse() {
    // "Now" is the moment of asking, not of loading; the window shows the time it gave.
    if (followsNow_) {
        goTo(std::nullopt);
        showTime();
    }
    return time_;
}

bool EphemerisForm::covers(UtcMs time) const {
    return !table_.rows.empty() && time >= table_.rows.front().time &&
           time <= table_.rows.back().time;
}

QString EphemerisForm::origin() const {
    return origin_->text();
}

void EphemerisForm::goTo(std::optional<UtcMs> remembered) {
    followsNow_ = !remembered;
    // Never moved into the span: the time shown is the time every command uses, and a
    // time outside says so instead of quietly taking the nearest row.
    time_ = remembered ? *remembered : WholeSeconds(clock_());
    lastChosen_ = remembered.has_value();
}

void EphemerisForm::showTime() {
    settingTime_ = true;
    timeEdit_->setDateTime(QDateTime::fromMSecsSinceEpoch(time_, Qt::UTC));
    settingTime_ = false;
    showRate();
}

QString EphemerisForm::outsideNote() const {
    if (table_.rows.empty() || covers(time_)) return {};
    const QString what = followsNow_   ? QString("Now (%1)").arg(UtcText(time_))
                         : lastChosen_ ? QString("The time chosen last (%1)").arg(UtcText(time_))
                                       : UtcText(time_);
    const QString where =
        time_ < table_.rows.front().time
            ? QString(" is before this ephemeris starts at %1")
                  .arg(UtcText(table_.rows.front().time))
            : QString(" is after this ephemeris ends at %1").arg(UtcText(table_.rows.back().time));
    return what + where + ": it gives no motion then. Set a time within it.";
}

void EphemerisForm::showRate() {
    QLabel* values[] = {motionPerMinute_, motionPerHour_, positionAngle_, eastRate_, northRate_};
    const auto rate = RateAt(table_, time_);
    // A time outside the table is said in the window's own words, naming its span.
    QString note = outsideNote();
    const auto* problem = std::get_if<std::string>(&rate);
    if (note.isEmpty() && problem) {
        note = QString::fromStdString(*problem);
    } else if (note.isEmpty() && lastChosen_) {
        note = "The time chosen last time; Now goes to the current time.";
    }
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    use_->setEnabled(!problem);
    if (problem) {
        for (QLabel* value : values) value->setText(kOutside);
        return;
    }
    const Rate& r = std::get<Rate>(rate);
    const double perMinute = r.MotionArcsecPerMinute();
    motionPerMinute_->setText(Fixed(perMinute, 4) + " \"/min");
    motionPerHour_->setText(Fixed(perMinute * 60, 2) + " \"/hr");
    positionAngle_->setText(Fixed(r.PositionAngleDegrees(), 2) + QString::fromUtf8("\xC2\xB0"));
    eastRate_->setText(Fixed(r.eastArcsecPerMinute * 60, 2) + " \"/hr");
    northRate_->setText(Fixed(r.northArcsecPerMinute * 60, 2) + " \"/hr");
}

void EphemerisForm::timeEdited(const QDateTime& edited) {
    if (settingTime_ || table_.rows.empty()) return;
    time_ = WholeSeconds(edited.toMSecsSinceEpoch());
    followsNow_ = false;
    lastChosen_ = false;
    showRate();
    emit timeChosen();
}

void EphemerisForm::nowClicked() {
    goTo(std::nullopt);
    showTime();
    emit timeChosen();
}

void EphemerisForm::useClicked() {
    const UtcMs time = timeInUse();
    if (!covers(time)) return;
    const auto rate = RateAt(table_, time);
    if (!std::holds_alternative<Rate>(rate)) return;
    const QString target =
        table_.target.empty() ? origin_->text() : QString::fromStdString(table_.target);
    emit rateUsed(
        std::get<Rate>(rate),
        QString("Motion and PA from the ephemeris of %1 at %2.").arg(target, UtcText(time)));
}
