// SPDX-License-Identifier: MIT
#pragma once

// The loss of a line, taken from what the system says of the line itself: a
// hung-up line reports an error condition on its descriptor, and a device
// node that is gone or now another device tells the rest. Qt 6.8 reads
// nothing from a hung-up line and says nothing, and Qt's own error codes
// differ from one version to the next, so the system decides.

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <string>

namespace kestran::serial {

class HangUpWatch : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    void watch(int descriptor, const std::string& device);
    void stop();
    // Whether the line is gone: hung up, in error, or its device node removed.
    bool lineGone() const;

signals:
    void hungUp();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_descriptor = -1;
    std::string m_device;
};

} // namespace kestran::serial
