// Streams for the stream, filter and stack tests that note what happens to
// them (start, stop, close, write, destruction) in one shared log.
#pragma once

#include "ka/filter.h"
#include "ka/membuf.h"

#include <string>
#include <vector>

namespace testing_streams {

using Log = std::vector<std::string>;

// A memory buffer that logs its close and its destruction.
class LoggedBuf : public Ka::MemBuf {
public:
    LoggedBuf(Log &rLog, std::string sName) : rLog(rLog), sName(std::move(sName)) {}
    ~LoggedBuf() override { rLog.push_back("~" + sName); }
    void close() override { rLog.push_back("close " + sName); }

private:
    Log &rLog;
    std::string sName;
};

// A pass-through filter that logs start, stop, write and destruction. Like a
// cipher, its destructor pushes a last byte into the stream below, so that
// deleting the layers in the wrong order is a use after free.
class LoggedFilter : public Ka::Filter {
public:
    LoggedFilter(Ka::Stream &rNext, Log &rLog, std::string sName)
        : Ka::Filter(rNext), rLog(rLog), sName(std::move(sName)) {}
    ~LoggedFilter() override {
        rNext.write(sName.data(), 1);
        rLog.push_back("~" + sName);
    }

    using Ka::Filter::write;

    int read(void *pBuf, int nBytes) override { return rNext.read(pBuf, nBytes); }
    int write(const void *pBuf, int nBytes) override {
        rLog.push_back("write " + sName);
        return rNext.write(pBuf, nBytes);
    }
    void start() override { rLog.push_back("start " + sName); }
    int stop() override {
        rLog.push_back("stop " + sName);
        return 0;
    }

private:
    Log &rLog;
    std::string sName;
};

inline std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

} // namespace testing_streams
