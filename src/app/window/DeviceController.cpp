#include "window/DeviceController.h"

#include <QTimer>

#include <string>
#include <utility>

#include "base/Log.h"
#include "support/BackgroundWorker.h"
#include "support/QtOwnerDispatcher.h"
#include "window/DeviceCommandRun.h"

using kalvort::ProjectTransfer;
using kalvort::TransferResult;
using kalvort::app::DeviceCommandRun;
using kalvort::workflow::DeviceSession;
using kalvort::workflow::DeviceSnapshot;
using kalvort::workflow::DeviceTarget;

namespace {

TransferResult cancelledBeforeStart() {
  TransferResult r;
  r.status = kalvort::TransferStatus::Cancelled;
  r.title = "Отмена";
  r.message = "Текущее действие отменено";
  return r;
}

}  // namespace

DeviceController::DeviceController(QObject *parent)
    : QObject(parent), worker_(std::make_unique<kalvort::app::BackgroundWorker>()) {
  setObjectName(QStringLiteral("DeviceController"));
  // Hot-plug events of the USB programmer reach the device on this thread, never beside a poll or
  // a device creation: while one is on the worker the event follows it. During a device command
  // the event goes through at once (a removal ends the command's device action).
  kalvort::SetOwnerDispatcher(
      std::make_shared<kalvort::app::QtOwnerDispatcher>(this, [this](std::function<void()> work) {
        if (commandRunning() || worker_->pending() == 0)
          work();
        else
          worker_->afterPending(this, std::move(work));
      }));
  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("StatusTimer"));
  timer_->setInterval(250);
  connect(timer_, &QTimer::timeout, this, &DeviceController::poll);
}

DeviceController::~DeviceController() {
  // No job may run against the device, nor report here, once destruction starts.
  kalvort::SetOwnerDispatcher(std::make_shared<kalvort::TQueuedDispatcher>());
  timer_->stop();
  run_.reset();     // cancels a chain still running
  worker_.reset();  // lets the running job return (a cancelled chain, a poll) and drops the rest
  session_.reset();
}

int DeviceController::pendingJobs() const { return worker_->pending(); }

// ---- the device ----

void DeviceController::choose(const DeviceTarget &target, int timeoutFactor) {
  const uint64_t generation = ++creation_generation_;
  creation_pending_ = true;
  struct Created {
    std::unique_ptr<DeviceSession> session;
    std::string error;
  };
  // The previous device goes first (once the poll in flight has returned); the new one is made
  // after that.
  worker_->afterPending(this, [this, target, timeoutFactor, generation] {
    if (generation != creation_generation_ || shut_down_) return;  // a later choice replaced this one
    worker_->run<Created>(
        this,
        [target, timeoutFactor] {
          Created c;
          c.session = DeviceSession::Create(target, timeoutFactor, c.error);
          return c;
        },
        [this, generation](Created &c) {
          if (generation != creation_generation_ || shut_down_) return;
          creation_pending_ = false;
          if (!c.session) {
            // Only a USB driver that cannot be used gets here; a device that does not answer is made.
            kalvort::LogMessage(kalvort::LogLevel::Warning, "device not created: " + c.error);
            emit creationFailed(QString::fromStdString(c.error));
            return;
          }
          session_ = std::move(c.session);
          emit deviceAttached();
        });
  });
}

void DeviceController::releaseDevice() {
  ++poll_generation_;  // a poll in flight reports on the device going away
  if (!session_) return;
  // A poll in flight may still use the device: it goes once the poll has returned, on this thread
  // (its hot-plug listener belongs here). The worker is the context: its destructor drops the
  // device with the jobs not run.
  std::shared_ptr<DeviceSession> released(std::move(session_));
  worker_->afterPending(worker_.get(), [released] {});
}

void DeviceController::shutDown() {
  stopPolling();
  shut_down_ = true;
  releaseDevice();
}

// ---- the status poll ----

void DeviceController::startPolling() {
  if (shut_down_) return;
  timer_->start();
}

void DeviceController::stopPolling() {
  timer_->stop();
  ++poll_generation_;
}

bool DeviceController::polling() const { return timer_->isActive(); }

void DeviceController::poll() {
  if (worker_->pending() > 0) return;
  if (!session_) {
    applySnapshot(nullptr);
    return;
  }
  DeviceSession *session = session_.get();
  const uint64_t generation = poll_generation_;
  worker_->run<DeviceSnapshot>(this, [session] { return session->Poll(); },
                               [this, generation](DeviceSnapshot &snapshot) {
                                 // A poll that finished after the timer was stopped is stale.
                                 if (generation != poll_generation_ || !timer_->isActive()) return;
                                 applySnapshot(&snapshot);
                               });
}

void DeviceController::applySnapshot(const DeviceSnapshot *snapshot) {
  connected_ = false;
  version_ = 0;
  if (snapshot) {
    const kalvort::workflow::StatusTexts texts = kalvort::workflow::StatusTextsFor(*snapshot);
    connected_ = texts.connected;
    version_ = texts.full_commands ? snapshot->state.version : 0;
  }
  emit statusChanged(snapshot);
}

// ---- the device command ----

bool DeviceController::beginCommand() {
  if (run_ || !session_) return false;
  // A poll in flight may still use the device: the command's jobs run behind it on the worker.
  stopPolling();
  run_ = std::make_unique<DeviceCommandRun>(worker_->handback(this));
  return true;
}

void DeviceController::endCommand() { run_.reset(); }

void DeviceController::cancel() {
  if (run_) run_->Cancel();
}

void DeviceController::checkDeviceThen(std::function<void(bool ok, const QString &message)> next) {
  auto ok = std::make_shared<bool>(false);
  auto message = std::make_shared<std::string>();
  DeviceSession *session = session_.get();
  worker_->run(
      run_->back,
      [session, ok, message] {
        *ok = session->OpenAndCheck(*message);
        if (*ok) session->Close();
      },
      [ok, message, next = std::move(next)] { next(*ok, QString::fromStdString(*message)); });
}

// The chain's callbacks. They run on the worker and hold the shared chain state through a weak
// link, never the controller's run; what they report goes to this thread by the hand-back.
kalvort::TransferCallbacks DeviceController::chainCallbacks() {
  const std::weak_ptr<DeviceCommandRun::Chain> chain_state = run_->chain;
  const std::shared_ptr<kalvort::app::Handback> back = run_->back;
  kalvort::TransferCallbacks callbacks;
  callbacks.progress = [this, chain_state, back](int position) {
    // Worker thread, possibly many times per step: at most one update on its way at a time.
    const auto run = chain_state.lock();
    if (!run) return;
    run->RepeatCancel();
    run->progress = position;
    if (run->progress_posted.exchange(true)) return;
    back->post([this, run] {
      run->progress_posted = false;
      emit progressChanged(run->progress);
    });
  };
  callbacks.overall = [this, chain_state, back](const kalvort::TransferProgress &p) {
    const auto run = chain_state.lock();
    if (!run) return;
    run->program = p.program;
    run->programs = p.programs;
    run->overall_percent = p.total_bytes > 0 ? static_cast<int>(p.done_bytes * 100 / p.total_bytes) : 0;
    if (run->overall_posted.exchange(true)) return;
    back->post([this, run] {
      run->overall_posted = false;
      emit overallProgress(run->program, run->programs, run->overall_percent);
    });
  };
  callbacks.status = [this, chain_state, back](const std::string &status) {
    if (const auto run = chain_state.lock()) run->RepeatCancel();
    back->post([this, status = QString::fromStdString(status)] {
      if (run_ && run_->on_first_status) std::exchange(run_->on_first_status, {})();
      emit chainStatusChanged(status);
    });
  };
  callbacks.continue_after_cs_error = [this, back](int, const kalvort::TDevCatalogEntry &) {
    bool go_on = false;
    back->call([this, &go_on] { emit readErrorQuestion(&go_on); });
    return go_on;
  };
  return callbacks;
}

void DeviceController::runChain(std::function<TransferResult(ProjectTransfer &)> chain,
                                std::function<void()> onBegun) {
  run_->on_first_status = std::move(onBegun);
  // The chain object keeps its callbacks: they see the state through a weak link (no cycle); it is
  // there while the chain runs, the job holding it.
  const std::shared_ptr<DeviceCommandRun::Chain> run = run_->chain;
  kalvort::TDeviceClass *device = &session_->Device();
  kalvort::TransferCallbacks callbacks = chainCallbacks();
  auto result = std::make_shared<TransferResult>();
  worker_->run(
      run_->back,
      [run, device, callbacks = std::move(callbacks), chain = std::move(chain), result]() mutable {
        // The chain object is made here, behind a poll in flight: it hooks the device's events.
        ProjectTransfer &transfer = run->Start(*device);
        transfer.SetCallbacks(std::move(callbacks));
        *result = run->cancelled ? cancelledBeforeStart() : chain(transfer);
      },
      [this, result] { emit commandFinished(*result); });
}
