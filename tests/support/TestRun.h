#pragma once

// Runs every registered test the way each suite's main does: a private home, config and
// runtime folder, the offscreen platform, one QApplication.
int runAllTests(int argc, char** argv);
