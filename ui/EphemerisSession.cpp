#include "ui/EphemerisSession.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdlib>

#include "ephemeris/UtcTime.h"

using namespace Pelindra::Ephemeris;
using Pelindra::Settings::EphemerisMemory;

namespace {

// The readers' messages are parts of sentences ("cannot read ..."); a message box shows
// a whole one.
QString Sentence(const std::string& text) {
    QString sentence = QString::fromStdString(text);
    if (!sentence.isEmpty()) sentence[0] = sentence[0].toUpper();
    return sentence;
}

}  // namespace

EphemerisSession::EphemerisSession(UtcClock clock, QWidget* owner)
    : QObject(owner), clock_(std::move(clock)), owner_(owner) {}

void EphemerisSession::loadFile(const QString& path) {
    const std::string file = path.toStdString();
    readInBackground([file] { return ReadEphemerisFile(file); },
                     [this, file, name = QFileInfo(path).fileName()](ReadResult result) {
                         if (auto* error = std::get_if<ReadError>(&result)) {
                             emit failed(Sentence(error->message));
                             return;
                         }
                         show(std::get<Table>(std::move(result)), name, file);
                     });
}

void EphemerisSession::loadText(const QString& text, const QString& origin) {
    const QByteArray bytes = text.toUtf8();
    const std::string name = origin.toStdString();
    if (static_cast<std::size_t>(bytes.size()) > kEphemerisSizeLimit) {
        emit failed(Sentence("cannot read the " + name + ": it is larger than " +
                             std::to_string(kEphemerisSizeLimit / (1024 * 1024)) + " MiB"));
        return;
    }
    readInBackground(
        [bytes] {
            return ReadEphemeris(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        },
        [this, name, origin](ReadResult result) {
            if (auto* error = std::get_if<ReadError>(&result)) {
                std::string where = "the " + name;
                if (error->line > 0) where += ", line " + std::to_string(error->line);
                emit failed(Sentence(where + ": " + error->message));
                return;
            }
            show(std::get<Table>(std::move(result)), origin, {});
        });
}

void EphemerisSession::readInBackground(std::function<ReadResult()> read,
                                        std::function<void(ReadResult)> show) {
    const int generation = ++reads_;
    reading_ = true;
    emit readingChanged(true);
    auto* watcher = new QFutureWatcher<ReadResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, show] {
        watcher->deleteLater();
        if (generation != reads_) return;
        reading_ = false;
        emit readingChanged(false);
        show(watcher->future().takeResult());
    });
    watcher->setFuture(QtConcurrent::run(std::move(read)));
}

void EphemerisSession::show(Table table, const QString& origin, const std::string& file) {
    // The same file again starts at the time chosen for it last; anything else at now.
    std::optional<UtcMs> time;
    if (const auto remembered = last(); remembered && !file.empty() && remembered->file == file) {
        time = ParseUtcTime(remembered->time);
    }
    if (!form_) {
        form_ = new EphemerisForm(clock_, owner_);
        connect(form_, &EphemerisForm::timeChosen, this, &EphemerisSession::timeChosen);
        connect(form_, &EphemerisForm::rateUsed, this, &EphemerisSession::rateUsed);
        connect(form_, &EphemerisForm::followChanged, this, [this](bool follows) {
            follows_ = follows;
            emit changed();
        });
        form_->setFollow(follows_);
    }
    form_->showTable(std::move(table), origin, time);
    memory_ = EphemerisMemory{file, time ? FormatUtcTime(*time) : std::string()};
    showWindow();
    emit changed();
}

void EphemerisSession::timeChosen() {
    if (!form_ || !memory_) return;
    const auto time = form_->chosenTime();
    memory_->time = time ? FormatUtcTime(*time) : std::string();
    emit changed();
}

const Table* EphemerisSession::table() const {
    return form_ ? &form_->table() : nullptr;
}

QString EphemerisSession::name() const {
    if (!form_) return {};
    if (!form_->table().target.empty()) return QString::fromStdString(form_->table().target);
    return form_->origin();
}

void EphemerisSession::showWindow() {
    if (!form_) return;
    form_->show();
    form_->raise();
    form_->activateWindow();
}

void EphemerisSession::closeWindow() {
    if (form_) form_->close();
}

std::optional<UtcMs> EphemerisSession::timeInUse() {
    if (!form_) return std::nullopt;
    return form_->timeInUse();
}

std::optional<std::pair<double, double>> EphemerisSession::positionInUse() {
    const auto at = timeInUse();
    if (!at) return std::nullopt;
    const Row* nearest = nullptr;
    for (const Row& row : form_->table().rows) {
        if (!row.raDegrees || !row.decDegrees) continue;
        if (!nearest || std::llabs(row.time - *at) < std::llabs(nearest->time - *at)) {
            nearest = &row;
        }
    }
    if (!nearest) return std::nullopt;
    return std::pair(*nearest->raDegrees, *nearest->decDegrees);
}

std::optional<UtcMs> EphemerisSession::chosenTime() const {
    if (!form_) return std::nullopt;
    return form_->chosenTime();
}

void EphemerisSession::setFollows(bool follows) {
    if (follows_ == follows) return;
    follows_ = follows;
    if (form_) form_->setFollow(follows);
    emit changed();
}

std::optional<UtcMs> EphemerisSession::followedStart() {
    if (!follows_ || !form_) return std::nullopt;
    return form_->timeInUse();
}

void EphemerisSession::setRemembered(const EphemerisMemory& memory) {
    remembered_ = memory;
}

std::optional<EphemerisMemory> EphemerisSession::last() const {
    return memory_ ? memory_ : remembered_;
}

std::optional<EphemerisMemory> EphemerisSession::memoryToSave() const {
    if (!memory_) return std::nullopt;
    if (remembered_ && remembered_->file == memory_->file && remembered_->time == memory_->time) {
        return std::nullopt;
    }
    return memory_;
}
