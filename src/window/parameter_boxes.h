// The five parameter boxes as the window's features see them: the texts they
// hold, new texts written into them (a render started afterwards reads exactly
// these), and each box to point a note at.
#pragma once

#include "render/frame.h"

#include <QLineEdit>
#include <QString>

#include <array>
#include <cstddef>

struct ParameterBoxes {
    std::array<QLineEdit*, 5> box{};  // in the core's order of the parameters

    glimra::PatternTexts texts() const
    {
        glimra::PatternTexts texts;
        for (std::size_t k = 0; k < box.size(); ++k)
            texts.*glimra::kParameterNames[k].text = box[k]->text().toStdString();
        return texts;
    }

    void setTexts(const glimra::PatternTexts& texts) const
    {
        for (std::size_t k = 0; k < box.size(); ++k)
            box[k]->setText(QString::fromStdString(texts.*glimra::kParameterNames[k].text));
    }
};
