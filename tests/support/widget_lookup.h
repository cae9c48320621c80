// Finding a control of a window by its id, and clicking a button so found.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>

#include "views/frame_view.h"

namespace tav::test {

template <typename T>
T* Control(QWidget* parent, int id) {
    auto* control = qobject_cast<T*>(FindControl(parent, id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

inline void Click(QWidget* parent, int id) {
    if (auto* button = Control<QAbstractButton>(parent, id)) button->click();
}

}  // namespace tav::test
