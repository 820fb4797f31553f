#pragma once
// DeviceController: the window's device. It owns the device session, the one background worker
// that every device job runs on (status poll, device creation, a command's chain, the network
// dialog's probes), the 250 ms status poll and the device command while it runs. The window's
// thread never waits on the device: jobs go to the worker and their results come back as signals.
//
// One command at a time: beginCommand() stops the poll and opens the command, checkDeviceThen()
// and runChain() run its jobs, endCommand() lets it go. Letting the controller go cancels a chain
// still running; the destructor then lets the worker's running job return (a cancelled chain
// ends at its next report) and drops the jobs not started.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "workflow/DeviceSession.h"
#include "workflow/ProjectTransfer.h"

class QTimer;

namespace kalvort::app {
class BackgroundWorker;
class DeviceCommandRun;
}  // namespace kalvort::app

class DeviceController : public QObject {
  Q_OBJECT

 public:
  explicit DeviceController(QObject *parent = nullptr);
  ~DeviceController() override;

  // ---- The device ----
  // Replaces the device by one for `target`, made on the worker once the jobs given so far have
  // returned (a controller's object talks to it while it is built). Only the latest choice
  // attaches: deviceAttached() or creationFailed() follows unless a later choice came meanwhile.
  void choose(const kalvort::workflow::DeviceTarget &target, int timeoutFactor);
  // A device is being made on the worker.
  bool creationPending() const { return creation_pending_; }
  // The device session, null while there is none.
  kalvort::workflow::DeviceSession *session() const { return session_.get(); }
  bool hasDevice() const { return session_ != nullptr; }
  // Lets the device go once the worker's jobs given so far, which may use it, have returned; a
  // poll in flight reports nothing.
  void releaseDevice();
  // The window is closing: the poll stops for good, the device goes, no later choice attaches.
  void shutDown();

  // ---- The status poll ----
  void startPolling();  // does nothing after shutDown()
  // Stops the poll; the result of a poll still in flight is dropped. It does not wait: work given
  // to the worker afterwards runs once that poll has returned.
  void stopPolling();
  bool polling() const;
  // One poll now, unless a job is still on the worker (one poll at a time, never beside a
  // creation or a held hot-plug event). Without a device it reports "no device" at once.
  void poll();
  // The last status reported: the module answers; the USB programmer's version (0 unless it
  // takes the full erase and test).
  bool connected() const { return connected_; }
  int version() const { return version_; }

  // ---- The device command ----
  // Opens a command: false when one runs already or there is no device. Stops the poll.
  bool beginCommand();
  bool commandRunning() const { return run_ != nullptr; }
  // Opens and checks the device on the worker, then `next(ok, why not)` on the window's thread.
  void checkDeviceThen(std::function<void(bool ok, const QString &message)> next);
  // Runs `chain` on the worker with a chain object for the device. Reports progress, status texts
  // and the read-error question while it runs, then commandFinished(). `onBegun` runs once, at
  // the chain's first status text (the device is open and the chain under way).
  void runChain(std::function<kalvort::TransferResult(kalvort::ProjectTransfer &)> chain,
                std::function<void()> onBegun = {});
  // The chain ends as cancelled at its next report; commandFinished() still follows.
  void cancel();
  // The command is over for the window. A chain still running is cancelled and returns on the
  // worker; what it still reports is dropped. The poll is not restarted here.
  void endCommand();

  // Jobs given to the worker whose results have not come back yet.
  int pendingJobs() const;
  // The worker, for the window's other device jobs (the network dialog's probes).
  kalvort::app::BackgroundWorker &worker() const { return *worker_; }

 signals:
  // A poll's result (null: there is no device). connected() and version() already follow it.
  void statusChanged(const kalvort::workflow::DeviceSnapshot *snapshot);
  // The chosen device is there (session() is set).
  void deviceAttached();
  // The chosen device could not be made (only a USB driver that cannot be used).
  void creationFailed(const QString &error);
  // The running chain's step position (0..100), the whole command's programs and percentage,
  // and the text of its current step.
  void progressChanged(int position);
  void overallProgress(int program, int programs, int percent);
  void chainStatusChanged(const QString &text);
  // A program was read with a control-sum error: the chain waits on the worker until the window
  // answers on its own thread by setting `*goOn` (true reads on). Unanswered, the read stops.
  void readErrorQuestion(bool *goOn);
  // The chain returned (also when cancelled); the command stays open until endCommand().
  void commandFinished(const kalvort::TransferResult &result);

 private:
  kalvort::TransferCallbacks chainCallbacks();
  void applySnapshot(const kalvort::workflow::DeviceSnapshot *snapshot);

  std::unique_ptr<kalvort::app::BackgroundWorker> worker_;
  std::unique_ptr<kalvort::workflow::DeviceSession> session_;
  // The command from beginCommand() to endCommand(); letting it go cancels its chain.
  std::unique_ptr<kalvort::app::DeviceCommandRun> run_;
  QTimer *timer_ = nullptr;           // the 250 ms status timer
  uint64_t poll_generation_ = 0;      // bumped when the poll stops: results of older polls are dropped
  uint64_t creation_generation_ = 0;  // bumped per choice: only the latest creation attaches
  bool creation_pending_ = false;
  bool connected_ = false;
  int version_ = 0;
  bool shut_down_ = false;
};
