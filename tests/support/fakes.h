#pragma once

// A serial port and a window that only record, so the terminal's reactions can
// be driven and watched without Qt or a device.

#include "terminal/serialport.h"
#include "terminal/window.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestran::testing {

// Every call either fake receives, in order, by name.
using CallLog = std::vector<std::string>;

class FakePort : public terminal::SerialPort {
public:
    explicit FakePort(CallLog* log = nullptr) : m_log(log) {}

    bool open = false;
    std::optional<terminal::PortError> refuseOpen;
    terminal::CommEvent event = terminal::CommEvent::comEvReceive;
    terminal::PortError error;
    std::string waiting;
    std::vector<std::string> written;
    int closes = 0;
    std::function<void()> whileWriting;

    bool portOpen() const override
    {
        record("portOpen");
        return open;
    }
    std::optional<terminal::PortError> openPort() override
    {
        record("openPort");
        if (refuseOpen)
            return refuseOpen;
        open = true;
        return std::nullopt;
    }
    void closePort() override
    {
        record("closePort");
        open = false;
        ++closes;
    }
    void output(std::string_view bytes) override
    {
        record("output");
        if (whileWriting)
            whileWriting();
        written.emplace_back(bytes);
    }
    std::string input() override
    {
        record("input");
        std::string chunk;
        chunk.swap(waiting);
        return chunk;
    }
    terminal::CommEvent commEvent() const override
    {
        record("commEvent");
        return event;
    }
    terminal::PortError lastError() const override
    {
        record("lastError");
        return error;
    }

private:
    void record(const char* call) const
    {
        if (m_log)
            m_log->emplace_back(call);
    }
    CallLog* m_log;
};

class FakeWindow : public terminal::Window {
public:
    explicit FakeWindow(CallLog* log = nullptr) : m_log(log) {}

    std::string typed;
    std::vector<terminal::ShownLine> list;
    std::vector<terminal::Notice> notices;
    std::optional<int> exitStatus;

    std::vector<std::string> lines() const
    {
        std::vector<std::string> texts;
        for (const auto& line : list)
            texts.push_back(*line);
        return texts;
    }

    std::string commandText() const override
    {
        record("commandText");
        return typed;
    }
    void appendLine(const terminal::ShownLine& line) override
    {
        record("appendLine");
        list.push_back(line);
    }
    void clearList() override
    {
        record("clearList");
        list.clear();
    }
    void tellOperator(const terminal::Notice& notice) override
    {
        record("tellOperator");
        notices.push_back(notice);
    }
    void endProgram(int status) override
    {
        record("endProgram");
        exitStatus = status;
    }

private:
    void record(const char* call) const
    {
        if (m_log)
            m_log->emplace_back(call);
    }
    CallLog* m_log;
};

} // namespace kestran::testing
