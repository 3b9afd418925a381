#include "app/ui/toggle_group_view.h"

#include <QAbstractButton>
#include <QSignalBlocker>

ToggleGroupView::ToggleGroupView(ExclusiveToggleGroup& group, QObject* parent)
    : QObject(parent), m_group(group) {
    m_group.onChanged = [this] { refresh(); };
}

void ToggleGroupView::bind(int member, QAbstractButton* button) {
    button->setCheckable(true);
    m_buttons.emplace_back(member, button);
    // The button has toggled itself already when clicked arrives; the group decides.
    connect(button, &QAbstractButton::clicked, this, [this, member] { m_group.click(member); });
    refresh();
}

void ToggleGroupView::refresh() {
    for (auto& [member, button] : m_buttons) {
        if (button) {
            const QSignalBlocker block(button);
            button->setChecked(m_group.isDown(member));
        }
    }
}
