// SPDX-License-Identifier: MIT
#pragma once

// Waiting for a device to come back costs nothing while nothing happens:
// instead of looking on a timer, the folders where its name, its device and
// the lock files appear are watched (inotify, through QFileSystemWatcher),
// and a look follows each change. A folder on the way that does not exist
// yet (/dev/serial/by-id before the first USB adapter) is waited for in the
// folder above it.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kestran::serial {

class ReplugWatch : public QObject {
    Q_OBJECT

public:
    explicit ReplugWatch(QObject* parent = nullptr);

    // Watches for `name`, and for the device it last was; looks once at once.
    void start(const QString& name, const QString& device);
    void stop();
    // Looks again after a while even without a change: what keeps a device
    // from being opened (another program's flock) can end without one. A
    // look that made and removed lock files of its own would be woken by
    // them at once, over and over; after one, the lock folder goes unwatched.
    void lookAgainLater(bool watchLockFiles);

signals:
    void look();

private:
    void connectEvents();
    void watchFolders();
    void changed();

    QFileSystemWatcher m_folders;
    QTimer m_settle; // udev makes a node, then its links: one look after the burst
    QTimer m_later;
    QString m_name, m_device;
    bool m_active = false;
    bool m_watchLockFiles = true;
};

} // namespace kestran::serial
