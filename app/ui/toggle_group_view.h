#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "app/toggle_group.h"

class QAbstractButton;

// Shows an ExclusiveToggleGroup on checkable buttons: a click goes to the group, and every
// button's checked state follows the group (set with signals blocked, so no handler runs).
class ToggleGroupView : public QObject {
    Q_OBJECT
public:
    explicit ToggleGroupView(ExclusiveToggleGroup& group, QObject* parent = nullptr);

    // Binds a button (made checkable) to a member of the group; the button is not owned.
    void bind(int member, QAbstractButton* button);
    // Brings every bound button to the group's state.
    void refresh();

private:
    ExclusiveToggleGroup& m_group;
    std::vector<std::pair<int, QPointer<QAbstractButton>>> m_buttons;
};
