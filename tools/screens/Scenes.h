#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class SceneWorld;

// Puts one screen on display in the world, then calls `hold` (which returns once the
// screenshot is taken). Returns why the scene could not be set up, or "".
using Scene = std::function<QString(SceneWorld& world, const std::function<void()>& hold)>;

Scene sceneNamed(const QString& name);
QStringList sceneNames();
