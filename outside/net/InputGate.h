#pragma once

#include <functional>

#include <QObject>

// While a call the user may stop waits: keeps every user input away from the
// application (no second action can start), except the input meant for a window
// marked as the call's own panel (Showavi's "Cancelar"), and turns Escape into
// the request to stop.
class InputGate : public QObject
{
public:
    // The property a window sets to receive input while the gate is closed.
    static constexpr const char *PanelProperty = "fasCallPanel";

    explicit InputGate(std::function<void()> onEscape);
    ~InputGate() override;
    InputGate(const InputGate &) = delete;
    InputGate &operator=(const InputGate &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_onEscape;
};
