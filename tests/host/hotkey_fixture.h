// The library core on a simulated board, through the driver channel.
#ifndef TESTS_HOST_HOTKEY_FIXTURE_H
#define TESTS_HOST_HOTKEY_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boards.h"
#include "chipset_hosts.h"
#include "driver_channel.h"
#include "host_seams.h"
#include "hotkey_core.h"
#include "hotkey_exports.h"
#include "machine.h"
#include "orvane_core.h"

struct alignas(sim::Board) HotkeyBoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

// A board, the driver's zeroed device extension and the channel, made current
// for the platform seam and for the library for the length of one test.
class HotkeyStack : public ::testing::Test {
protected:
    HotkeyStack() : storage(std::make_unique<HotkeyBoardStorage>()), ext(std::make_unique<OrvaneDeviceExtension>())
    {
        std::memset(ext.get(), 0, sizeof(OrvaneDeviceExtension));
        hotkey::ResetGlobals();
        channel.ext = ext.get();
        hotkey::SetHostBackend(&channel);
        UseBoard(sim::kIntelBoard);
    }
    ~HotkeyStack() override
    {
        hotkey::SetHostBackend(nullptr);
        sim::SetCurrent(nullptr);
        if (board != nullptr)
            board->~Board();
    }

    sim::Board* UseBoard(sim::BoardId id)
    {
        if (board != nullptr)
            board->~Board();
        board = id == sim::kIntelBoard ? sim::BuildIntelBoard(storage.get(), sizeof(HotkeyBoardStorage))
                                       : sim::BuildBoard(storage.get(), sizeof(HotkeyBoardStorage), id);
        if (board != nullptr) {
            hosts = std::make_unique<sim::ChipsetHosts>();
            equipped = hosts->Equip(*board);
            sim::SetCurrent(&board->machine);
            channel.machine = &board->machine;
        }
        return board;
    }

    // The controller on the default board.
    sim::R39218& Chip() { return board->controller; }
    // Selects the Intel host and starts the records afresh.
    void SelectIntel()
    {
        ASSERT_EQ(SelectInterfaceType(1, 0), 1);
        channel.Clear();
    }
    // The trace lines that start with the text.
    int CountPrefix(const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& t : channel.trace)
            n += t.rfind(prefix, 0) == 0;
        return n;
    }

    std::unique_ptr<HotkeyBoardStorage> storage;
    std::unique_ptr<OrvaneDeviceExtension> ext;
    std::unique_ptr<sim::ChipsetHosts> hosts;  // the board's SMBus host model
    bool equipped = false;
    sim::Board* board = nullptr;
    DriverChannel channel;
};

#endif
