#pragma once

#include <memory>

class ServerData;

// Makes `record` the current server, writes the five selection keys and posts
// "changedServer" once, after the writes.
void saveSelection(const std::shared_ptr<ServerData>& record);
