#pragma once

class NetworkVC;

// Makes the connection screen's elements, where and how they sit, and connects them to
// the screen's actions; the screen gives them their texts and looks as the state moves.
void layOutNetworkVC(NetworkVC& screen);
