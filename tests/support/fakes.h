// SPDX-License-Identifier: MIT
#pragma once

// A serial port and a window that only record, so the terminal's reactions can
// be driven and watched without Qt or a device.

#include "terminal/serialport.h"
#include "terminal/window.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestran::testing {

class FakePort : public terminal::SerialPort {
public:
    bool open = false;
    std::optional<terminal::PortError> refuseOpen;
    terminal::CommEvent event = terminal::CommEvent::comEvReceive;
    terminal::PortError error;
    std::string waiting;
    terminal::Moment readAt;          // of what waits
    terminal::LineErrors errorsRisen; // with what waits
    std::optional<terminal::Moment> left;
    std::vector<std::string> written;
    std::size_t waitingOut = 0;

    bool portOpen() const override { return open; }
    bool openPort() override
    {
        error = refuseOpen.value_or(error);
        return open = !refuseOpen;
    }
    void closePort() override { open = false; }
    void output(std::string_view bytes) override { written.emplace_back(bytes); }
    std::size_t outputWaiting() const override { return waitingOut; }
    terminal::Chunk input() override
    {
        return {std::exchange(waiting, {}), readAt, std::exchange(errorsRisen, {})};
    }
    terminal::CommEvent commEvent() const override { return event; }
    std::optional<terminal::Moment> frameLeft() const override { return left; }
    terminal::PortError lastError() const override { return error; }
};

class FakeWindow : public terminal::Window {
public:
    std::string typed;
    std::vector<terminal::Row> list;
    std::vector<terminal::Notice> notices;
    std::optional<int> exitStatus;

    std::string commandText() const override { return typed; }
    void appendLine(const terminal::Row& row) override { list.push_back(row); }
    void clearList() override { list.clear(); }
    void tellOperator(const terminal::Notice& notice) override { notices.push_back(notice); }
    void endProgram(int status) override { exitStatus = status; }
};

} // namespace kestran::testing
