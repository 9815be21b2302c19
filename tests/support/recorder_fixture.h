// The common scene of recorder tests: a fresh model desktop, a fresh
// recorder, a frame window with the keyboard focus, and a directory for the
// recordings. Afterwards the platform must not have been misused, no dialog
// may have gone unanswered, and nothing may be left open.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "headless/desktop.h"
#include "recorder.h"

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string PathFor(const std::string& name) const;

    // Queues the user's answers for the next start: the file name, then the
    // compressor (uncompressed unless given).
    void AnswerNextStart(const std::string& path,
                         desktop::CompressorAnswer compressor = desktop::CompressorAnswer{});
    // Answers the dialogs, then presses F5 (or the given keys).
    void StartRecording(const std::string& path,
                        desktop::CompressorAnswer compressor = desktop::CompressorAnswer{});
    void StopRecording();

    // Whether this test leaves things open on purpose (a recording that is
    // still running when the test ends).
    bool expectOpenRecording_ = false;
    std::string directory_;
    HWND frame_ = nullptr;
};

// The message boxes whose text is this.
int CountBoxes(const std::string& text);
