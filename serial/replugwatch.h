// SPDX-License-Identifier: MIT
#pragma once

// Waiting for a lost device to come back costs nothing while nothing
// happens: instead of looking on a timer, the system's own news of devices
// is followed, and a look is asked for after each. On Linux that is the
// folders where the name, its device and the lock files appear (inotify);
// on Windows, the device notifications. replugwatch_unix.cpp and
// replugwatch_win.cpp each say how.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace kestran::serial {

class ReplugWatch : public QObject {
    Q_OBJECT

public:
    explicit ReplugWatch(QObject* parent = nullptr);
    ~ReplugWatch() override;

    // Watches for `name`, and for the device it last was; looks once at once.
    void start(const QString& name, const QString& device);
    void stop();
    // Looks again after a while even without news: what keeps a device from
    // being opened (another program's flock, a driver still starting) can
    // end without any. On Linux a look that made and removed lock files of
    // its own would be woken by them at once, over and over, so the lock
    // folder stays watched only when another's lock file refused the look.
    void lookAgainLater(bool watchLockFiles);

signals:
    void look();

private:
    void connectEvents();
    void changed();

    struct Private;
    std::unique_ptr<Private> d;
    // One look after a burst of news: a device comes with its node and its
    // links, or a driver needs a moment after its arrival.
    QTimer m_settle;
    QTimer m_later;
    bool m_active = false;
};

} // namespace kestran::serial
