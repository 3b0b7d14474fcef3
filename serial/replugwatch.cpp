// SPDX-License-Identifier: MIT
#include "serial/replugwatch.h"

#include <QDir>
#include <QFileInfo>

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

ReplugWatch::ReplugWatch(QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    m_later.setSingleShot(true);
    m_later.setInterval(lookAgainMs);
    connectEvents();
}

void ReplugWatch::connectEvents()
{
    connect(&m_folders, &QFileSystemWatcher::directoryChanged, this, &ReplugWatch::changed);
    connect(&m_settle, &QTimer::timeout, this, &ReplugWatch::look);
    connect(&m_later, &QTimer::timeout, this, &ReplugWatch::look);
}

void ReplugWatch::start(const QString& name, const QString& device)
{
    m_name = name;
    m_device = device;
    m_active = true;
    m_watchLockFiles = true;
    watchFolders();
    m_settle.start();
}

void ReplugWatch::stop()
{
    m_active = false;
    m_settle.stop();
    m_later.stop();
    if (!m_folders.directories().isEmpty())
        m_folders.removePaths(m_folders.directories());
}

void ReplugWatch::lookAgainLater(bool watchLockFiles)
{
    if (!m_active)
        return;
    m_watchLockFiles = watchLockFiles;
    watchFolders();
    m_later.start();
}

void ReplugWatch::changed()
{
    if (!m_active)
        return;
    watchFolders(); // a folder on the way may have come or gone
    m_settle.start();
}

void ReplugWatch::watchFolders()
{
    QStringList wanted = {existingFolderOf(m_name), existingFolderOf(m_device)};
    if (m_watchLockFiles)
        wanted << QStringLiteral("/run/lock");
    wanted.removeDuplicates();
    QStringList gone = m_folders.directories();
    for (const QString& folder : std::as_const(wanted))
        gone.removeAll(folder);
    if (!gone.isEmpty())
        m_folders.removePaths(gone);
    for (const QString& folder : std::as_const(wanted)) {
        if (!m_folders.directories().contains(folder) && QFileInfo(folder).isDir())
            m_folders.addPath(folder);
    }
}

} // namespace kestran::serial
