// SPDX-License-Identifier: MIT
#include "serial/replugwatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace kestran::serial {

namespace {

constexpr int settleMs = 30;
constexpr int lookAgainMs = 1000;

// The folder a path stands in, or the nearest one above it that exists.
QString existingFolderOf(const QString& path)
{
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

} // namespace

struct ReplugWatch::Private {
    QFileSystemWatcher folders;
    QString name, device;
    bool watchLockFiles = true;
    void watchFolders();
};

ReplugWatch::ReplugWatch(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    m_later.setSingleShot(true);
    m_later.setInterval(lookAgainMs);
    connectEvents();
}

ReplugWatch::~ReplugWatch() = default;

void ReplugWatch::connectEvents()
{
    connect(&d->folders, &QFileSystemWatcher::directoryChanged, this, &ReplugWatch::changed);
    connect(&m_settle, &QTimer::timeout, this, &ReplugWatch::look);
    connect(&m_later, &QTimer::timeout, this, &ReplugWatch::look);
}

void ReplugWatch::start(const QString& name, const QString& device)
{
    d->name = name;
    d->device = device;
    m_active = true;
    d->watchLockFiles = true;
    d->watchFolders();
    m_settle.start();
}

void ReplugWatch::stop()
{
    m_active = false;
    m_settle.stop();
    m_later.stop();
    if (!d->folders.directories().isEmpty())
        d->folders.removePaths(d->folders.directories());
}

void ReplugWatch::lookAgainLater(bool watchLockFiles)
{
    if (!m_active)
        return;
    d->watchLockFiles = watchLockFiles;
    d->watchFolders();
    m_later.start();
}

void ReplugWatch::changed()
{
    if (!m_active)
        return;
    d->watchFolders(); // a folder on the way may have come or gone
    m_settle.start();
}

void ReplugWatch::Private::watchFolders()
{
    QStringList wanted = {existingFolderOf(name), existingFolderOf(device)};
    if (watchLockFiles)
        wanted << QStringLiteral("/run/lock");
    wanted.removeDuplicates();
    QStringList gone = folders.directories();
    for (const QString& folder : std::as_const(wanted))
        gone.removeAll(folder);
    if (!gone.isEmpty())
        folders.removePaths(gone);
    for (const QString& folder : std::as_const(wanted)) {
        if (!folders.directories().contains(folder) && QFileInfo(folder).isDir())
            folders.addPath(folder);
    }
}

} // namespace kestran::serial
