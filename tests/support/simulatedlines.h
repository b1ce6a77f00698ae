#pragma once

// The lines over which every test that talks to the simulated drive end to end runs: direct, and
// behind a converter whose timer hands on what the drive sends every 16 ms, as a common USB converter
// does; the drive's bytes paced at the port's 115200 bit/s on both.

#include <QByteArray>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

struct TSimulatedLine {
    const char* Name;
    const char* Plant; // plant parameters of the simulated drive that make the line

    // The port name of the simulated drive on this line, with other plant parameters when given.
    QByteArray Ports(const std::string& plant = {}) const {
        QByteArray all = Plant;
        if (!plant.empty())
            all += (all.isEmpty() ? "" : ",") + QByteArray::fromStdString(plant);
        return all.isEmpty() ? QByteArray("sim") : "sim:" + all;
    }
};

inline const TSimulatedLine SimulatedLines[] = {{"Direct", ""}, {"BehindAConverter", "latency=16"}};

inline void PrintTo(const TSimulatedLine& line, std::ostream* os) {
    *os << line.Name;
}

inline std::string LineName(const testing::TestParamInfo<TSimulatedLine>& info) {
    return info.param.Name;
}
