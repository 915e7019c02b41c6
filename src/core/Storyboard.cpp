#include "core/Storyboard.h"

#include <QWidget>

void Storyboard::registerController(const QString& identifier, Factory factory) {
    m_factories.insert(identifier, std::move(factory));
}

QWidget* Storyboard::instantiateController(const QString& identifier) const {
    const auto found = m_factories.constFind(identifier);
    return found == m_factories.constEnd() ? nullptr : (*found)();
}

bool Storyboard::hasController(const QString& identifier) const {
    return m_factories.contains(identifier);
}
