#pragma once

#include "serial/CommControl.h"
#include "support/CommControlSeam.h"
#include "serial/PortBackend.h"
#include "ui/Form1.h"
#include "ui/StatusBar.h"
#include "ui/ValueDisplay.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include <memory>

// A loaded main window, driven as the operator drives it. Failures that the
// window would show in a message box are collected in `notices` instead: the
// window lets its driver set where they go.
class FormDriver
{
public:
    FormDriver(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort)
        : form(std::make_unique<ui::Form1>(std::move(backend), std::move(deviceForPort)))
    {
        form->m_failureNotice = [this](const QString& message) { notices << message; };
        form->Form_Load();
    }

    template <typename T = QWidget>
    T* element(const char* name) const
    {
        auto* found = form->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no element %s", name);
        return found;
    }
    // The text of a caption or a value display.
    QString text(const char* name) const
    {
        if (const auto* display = qobject_cast<ui::ValueDisplay*>(element(name)))
            return display->text();
        return element<QLabel>(name)->text();
    }
    QColor textColour(const char* name) const { return element(name)->palette().color(QPalette::WindowText); }
    QString hexLine() const { return element<ui::StatusBar>("StatusBar1")->text(); }
    serial::CommControl* comm() const { return form->findChild<serial::CommControl*>("MSComm1"); }
    void click(const char* name) const { element<QPushButton>(name)->click(); }
    // The operator picks an entry from the list.
    void choose(const char* list, int index) const
    {
        auto* combo = element<QComboBox>(list);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    std::unique_ptr<ui::Form1> form;
    QStringList notices;
};
