#include "window/large_picture.h"

#include "window/window_formulas.h"

#include "picture/picture_file.h"
#include "render/parallel.h"
#include "window/window_action.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

// What the window and the thread rendering a save share.
struct LargePicture::Save {
    glimra::PictureRequest request;
    glimra::HeldFormula formula;  // the request's pattern, when a formula, held while it renders
    std::atomic<double> done{0};
    std::atomic<bool> stop{false};
    glimra::PictureResult result;  // written before the render's end is told, read after it
    std::mutex mutex;
    std::condition_variable returned;
    bool finished = false;  // under `mutex`: the render thread is done with the window
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

namespace {

QString duration(double seconds)
{
    if (seconds < 1)
        return QStringLiteral("under a second");
    if (seconds < 90)
        return QStringLiteral("%1 s").arg(std::lround(seconds));
    if (seconds < 90 * 60)
        return QStringLiteral("%1 min").arg(std::lround(seconds / 60));
    return QStringLiteral("%1 h").arg(seconds / 3600, 0, 'f', 1);
}

QString bytes(double b)
{
    if (b < 1 << 20)
        return QStringLiteral("%1 KiB").arg(std::max(1L, std::lround(b / 1024)));
    if (b < double(1u << 30))
        return QStringLiteral("%1 MiB").arg(std::lround(b / (1 << 20)));
    return QStringLiteral("%1 GiB").arg(b / double(1u << 30), 0, 'f', 1);
}

glimra::PictureRequest requestFor(const glimra::PictureRecipe& place, int density, int samples, const QString& path,
                                  glimra::HeldFormula* formula)
{
    glimra::PictureRequest request;
    QString why;
    request.pattern = glimra::recipePattern(place, formula, &why);
    request.recipe = place;
    request.recipe.density = density;
    request.recipe.samples = samples;
    request.output = path.toStdString();
    return request;
}

// The dialog: density, samples and a print's dots per inch, with the size
// they make and what the render will cost, then the file name.
std::optional<LargePicture::Choice> askPerson(QWidget* parent, const glimra::PictureRecipe& place)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Save large picture"));
    auto* form = new QFormLayout(&dialog);
    auto* density = new QSpinBox(&dialog);
    density->setRange(1, glimra::kMaxDensity);
    density->setValue(4);
    density->setAccessibleName(QStringLiteral("Density"));
    auto* samples = new QSpinBox(&dialog);
    samples->setRange(1, glimra::kMaxSamples);
    samples->setAccessibleName(QStringLiteral("Samples per pixel on a side"));
    auto* dpi = new QSpinBox(&dialog);
    dpi->setRange(30, 2400);
    dpi->setValue(300);
    dpi->setSuffix(QStringLiteral(" dpi"));
    dpi->setAccessibleName(QStringLiteral("Dots per inch of a print"));
    auto* size = new QLabel(&dialog);
    // It may quote the place's texts.
    size->setTextFormat(Qt::PlainText);
    auto* print = new QLabel(&dialog);
    auto* estimate = new QLabel(&dialog);
    form->addRow(QStringLiteral("Pattern"), new QLabel(QString::fromStdString(place.pattern), &dialog));
    form->addRow(QStringLiteral("&Density (times the resolution)"), density);
    form->addRow(QStringLiteral("&Samples per pixel (N \u00d7 N)"), samples);
    form->addRow(QStringLiteral("Size"), size);
    form->addRow(QStringLiteral("&Print at"), dpi);
    form->addRow(QStringLiteral("Print size"), print);
    form->addRow(QStringLiteral("Estimate"), estimate);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Save\u2026"));
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    // The estimate renders a small block, so it waits until the values rest.
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(150);
    auto update = [&] {
        glimra::HeldFormula formula;
        const glimra::PictureRequest request = requestFor(place, density->value(), samples->value(), "x.png", &formula);
        const glimra::PicturePlan plan = glimra::planPicture(request);
        const bool ok = plan.verdict == glimra::PicturePlan::Verdict::Render;
        buttons->button(QDialogButtonBox::Ok)->setEnabled(ok);
        if (!ok) {
            size->setText(plan.verdict == glimra::PicturePlan::Verdict::Refused ? QString::fromStdString(plan.why)
                                                                                : QStringLiteral("nothing to paint"));
            print->clear();
            estimate->clear();
            return;
        }
        size->setText(QStringLiteral("%1 \u00d7 %2 pixels").arg(plan.width).arg(plan.height));
        const double cm = 2.54 / dpi->value();
        print->setText(QStringLiteral("%1 \u00d7 %2 cm")
                           .arg(double(plan.width) * cm, 0, 'f', 1)
                           .arg(double(plan.height) * cm, 0, 'f', 1));
        estimate->setText(QStringLiteral("\u2026"));
        settle.start();
    };
    QObject::connect(&settle, &QTimer::timeout, &dialog, [&] {
        glimra::HeldFormula formula;
        const auto e =
            glimra::estimatePicture(requestFor(place, density->value(), samples->value(), "x.png", &formula));
        estimate->setText(
            e ? QStringLiteral("%1, a file of about %2")
                    .arg(e->seconds < 1 ? duration(e->seconds) : QStringLiteral("about ") + duration(e->seconds),
                         bytes(e->bytes))
              : QStringLiteral("no estimate: the values fault at once"));
    });
    QObject::connect(density, &QSpinBox::valueChanged, &dialog, update);
    QObject::connect(samples, &QSpinBox::valueChanged, &dialog, update);
    QObject::connect(dpi, &QSpinBox::valueChanged, &dialog, update);
    update();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    LargePicture::Choice choice;
    choice.density = density->value();
    choice.samples = samples->value();
    QString folder = QDir::homePath();
    const QString suggested = QDir(folder).filePath(QStringLiteral("%1-%2-x%3.png")
                                                        .arg(QString::fromStdString(place.pattern))
                                                        .arg(QString::fromStdString(place.texts.size).trimmed())
                                                        .arg(choice.density));
    choice.path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save large picture"), suggested,
                                               QStringLiteral("PNG picture (*.png)"));
    if (choice.path.isEmpty())
        return std::nullopt;
    if (QFileInfo(choice.path).suffix().isEmpty())
        choice.path += QStringLiteral(".png");
    return choice;
}

}  // namespace

LargePicture::LargePicture(QWidget& window, RecipeSource recipe, Complaint complain)
    : QObject(&window), window_(window), recipe_(std::move(recipe)), complain_(std::move(complain))
{
    setObjectName(QStringLiteral("largePicture"));
    saveAction = windowAction(window, this, "saveLargePicture", QStringLiteral("Save large picture\u2026"),
                              {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, &LargePicture::save);
    choose_ = [this](const glimra::PictureRecipe& place) { return askPerson(&window_, place); };
    progressClock_ = new QTimer(this);
    progressClock_->setInterval(100);
    connect(progressClock_, &QTimer::timeout, this, &LargePicture::showProgress);
}

LargePicture::~LargePicture()
{
    // The render holds nothing of the window's, but it must not outlive the
    // program's pool, nor tell its end to this once gone: stop it and wait for
    // its next column.
    if (job_) {
        job_->stop = true;
        std::unique_lock lock(job_->mutex);
        job_->returned.wait(lock, [job = job_.get()] { return job->finished; });
    }
}

void LargePicture::save()
{
    const auto place = recipe_();
    if (!place || running())
        return;
    if (const auto choice = choose_(*place))
        start(*choice);
}

bool LargePicture::start(const Choice& choice)
{
    const auto place = recipe_();
    if (!place || running())
        return false;
    auto job = std::make_shared<Save>();
    job->request = requestFor(*place, choice.density, choice.samples, choice.path, &job->formula);
    if (!job->request.pattern)
        return false;
    job->request.progress = [raw = job.get()](double done) { raw->done.store(done, std::memory_order_relaxed); };
    job->request.stop = [raw = job.get()] { return raw->stop.load(std::memory_order_relaxed); };
    job_ = job;
    glimra::parallel::Pool::instance().start([this, job] {
        job->result = glimra::renderPicture(job->request);
        // Told before the destructor may go on, so that this is still there;
        // a destroyed object's events are dropped.
        QMetaObject::invokeMethod(
            this, [this, job] { done(job); }, Qt::QueuedConnection);
        std::lock_guard lock(job->mutex);
        job->finished = true;
        job->returned.notify_all();
    });

    progress_ = new QProgressDialog(QStringLiteral("Saving %1\u2026").arg(QFileInfo(choice.path).fileName()),
                                    QStringLiteral("Cancel"), 0, 1000, &window_);
    progress_->setWindowTitle(QStringLiteral("Save large picture"));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_, &QProgressDialog::canceled, this, &LargePicture::cancel);
    progress_->show();
    progressClock_->start();
    return true;
}

void LargePicture::cancel()
{
    if (job_)
        job_->stop = true;
}

void LargePicture::showProgress()
{
    if (!job_)
        return;
    const double share = job_->done.load(std::memory_order_relaxed);
    if (progress_) {
        progress_->setValue(int(share * 1000));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - job_->started).count();
        if (share > 0.01 && elapsed > 1)
            progress_->setLabelText(QStringLiteral("Saving %1\u2026 %2 left")
                                        .arg(QFileInfo(QString::fromStdString(job_->request.output)).fileName(),
                                             duration(elapsed * (1 - share) / share)));
    }
}

void LargePicture::done(const std::shared_ptr<Save>& job)
{
    if (job != job_)
        return;
    progressClock_->stop();
    const glimra::PictureResult result = job_->result;
    job_.reset();
    if (progress_) {
        progress_->deleteLater();
        progress_ = nullptr;
    }
    using Status = glimra::PictureResult::Status;
    const bool written = result.status == Status::Written;
    QString why;
    switch (result.status) {
    case Status::Written: break;
    case Status::Stopped: why = QStringLiteral("cancelled; no file was written"); break;
    case Status::NothingToPaint: why = QStringLiteral("there is nothing to paint"); break;
    case Status::Refused:
    case Status::CannotWrite: why = QString::fromStdString(result.why); break;
    }
    if (!written && result.status != Status::Stopped)
        complain_(QStringLiteral("Cannot save large picture"), why);
    emit finished(written, why);
}
