#pragma once
// A window's control found by its object name, as the screenshots and
// automation find it; a missing one fails the test. T needs Q_OBJECT.

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

template <class T>
T* Find(const QObject& owner, const char* name) {
  T* found = owner.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}
