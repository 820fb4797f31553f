#pragma once
// FileWork: the window's long work on project files and programs -- opening, saving and checking a
// project -- on a background worker of its own, so that the window keeps painting. One job runs at
// a time. While it runs the window is disabled (nothing can change what the job works on), the
// busy cursor is up and the progress window shows the command's caption and status, once for the
// whole command; the job's progress reaches the bar at most every 30 ms. The job works on data of
// its own (copies sharing the project's texts and binaries, which nothing changes meanwhile); its
// result comes back to the window's thread by a queued call, and only there replaces what the
// window shows.
//
// The worker is not the device controller's: a status poll on a controller that does not answer
// would hold a save back for seconds, and a project file never touches the device.

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "formats/Conversion.h"
#include "support/BackgroundWorker.h"

class ProgressWindow;
class QWidget;

class FileWork : public QObject {
  Q_OBJECT

 public:
  // What a job reports while it runs; called on the worker's thread.
  class Progress {
   public:
    // The bar of the step in hand, 0..100.
    void setPosition(int percent);
    // Program `program` of `programs` (the line and bar of the whole command).
    void setProgram(int program, int programs);
    // setPosition as a converter's progress sink.
    kalvort::ProgressSink sink();

   private:
    friend class FileWork;
    struct Shared {
      std::atomic<int> position{0}, program{0}, programs{0};
      std::atomic<bool> posted{false};
      QPointer<ProgressWindow> form;  // set before the job starts; used on the window's thread only
    };
    // Hands the latest figures to the window's thread unless that was done less than 30 ms ago
    // or a hand-over is still on its way; the last figures before the job's end may be skipped.
    void report();

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::shared_ptr<kalvort::app::Handback> back_;
    std::chrono::steady_clock::time_point last_post_{};
  };

  // `window` is disabled while a job runs; `progressForm` gives the progress window it shows.
  FileWork(QWidget &window, std::function<ProgressWindow &()> progressForm, QObject *parent = nullptr);
  ~FileWork() override;

  // A job is running or its result is on its way to the window's thread.
  bool running() const { return running_; }

  // Window's thread, no job running. Runs `job` on the worker, then `done(result)` on the window's
  // thread with the window enabled again and the progress window hidden.
  template <class Result>
  void run(const QString &caption, const QString &status, std::function<Result(Progress &)> job,
           std::function<void(Result &)> done) {
    auto result = std::make_shared<Result>();
    auto progress = begin(caption, status);
    start([job = std::move(job), progress, result] { *result = job(*progress); },
          [done = std::move(done), result] { done(*result); });
  }

  // Window's thread: `garbage` is let go on the worker (the entries of a big project take a while
  // to free), after the jobs given before.
  template <class T>
  void dispose(std::shared_ptr<T> garbage) {
    worker_->run(this, [garbage = std::move(garbage)]() mutable { garbage.reset(); });
  }

 signals:
  // A job ended and its `done` has returned.
  void finished();

 private:
  std::shared_ptr<Progress> begin(const QString &caption, const QString &status);
  void start(std::function<void()> job, std::function<void()> done);
  void end();

  QWidget &window_;
  std::function<ProgressWindow &()> progress_form_;
  std::unique_ptr<kalvort::app::BackgroundWorker> worker_;
  bool running_ = false;
  // The progress window's texts before the job, put back after it (a device command's).
  QString caption_, status_;
};
