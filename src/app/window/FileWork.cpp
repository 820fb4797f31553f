#include "window/FileWork.h"

#include <QApplication>
#include <QWidget>

#include <utility>

#include "dialogs/ProgressWindow.h"

namespace {

// The shortest time between two paints of the progress bar.
constexpr auto kRepaintInterval = std::chrono::milliseconds(30);

}  // namespace

void FileWork::Progress::setPosition(int percent) {
  shared_->position = percent;
  report();
}

void FileWork::Progress::setProgram(int program, int programs) {
  shared_->program = program;
  shared_->programs = programs;
  report();
}

kalvort::ProgressSink FileWork::Progress::sink() {
  return [this](int percent) { setPosition(percent); };
}

void FileWork::Progress::report() {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_post_ < kRepaintInterval || shared_->posted.exchange(true)) return;
  last_post_ = now;
  back_->post([shared = shared_] {
    shared->posted = false;
    ProgressWindow *form = shared->form;
    if (!form) return;
    form->setPosition(shared->position);
    if (const int programs = shared->programs; programs > 0)
      form->setOverall(shared->program, programs, static_cast<int>(int64_t{shared->program} * 100 / programs));
  });
}

FileWork::FileWork(QWidget &window, std::function<ProgressWindow &()> progressForm, QObject *parent)
    : QObject(parent),
      window_(window),
      progress_form_(std::move(progressForm)),
      worker_(std::make_unique<kalvort::app::BackgroundWorker>()) {}

FileWork::~FileWork() {
  // The running job returns as the worker goes (it owns what it works on); its result is dropped.
  if (running_) QApplication::restoreOverrideCursor();
}

std::shared_ptr<FileWork::Progress> FileWork::begin(const QString &caption, const QString &status) {
  running_ = true;
  ProgressWindow &form = progress_form_();
  caption_ = form.caption();
  status_ = form.statusText();
  auto progress = std::make_shared<Progress>();
  progress->back_ = worker_->handback(this);
  progress->shared_->form = &form;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  window_.setEnabled(false);
  form.setCaption(caption);
  form.setStatusText(status);
  form.setPosition(0);
  form.clearOverall();
  form.setCancelEnabled(false);
  form.showOver(&window_);
  return progress;
}

void FileWork::start(std::function<void()> job, std::function<void()> done) {
  worker_->run(this, std::move(job), [this, done = std::move(done)] {
    // Taken on a call of its own: the outcome may ask the user, and the worker's hand-back is no
    // place to wait for an answer.
    QMetaObject::invokeMethod(
        this,
        [this, done] {
          end();
          // Over before its outcome is taken: the outcome may go on to the next job.
          running_ = false;
          done();
          emit finished();
        },
        Qt::QueuedConnection);
  });
}

void FileWork::end() {
  ProgressWindow &form = progress_form_();
  form.hide();
  form.setCancelEnabled(true);
  form.setCaption(caption_);
  form.setStatusText(status_);
  form.setPosition(0);
  form.clearOverall();
  window_.setEnabled(true);
  QApplication::restoreOverrideCursor();
}
