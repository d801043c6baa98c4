#pragma once
// What the end-to-end tests of the spreadsheet application share: a private LibreOffice
// (PrivateOffice) on a virtual display of its own (headless where Xvfb is missing), a
// template made by it, and the Calc client's options for that office, with deadlines
// generous enough for a cold office on a loaded machine running every test at once.
#include "PrivateOffice.h"
#include "VirtualDisplay.h"
#include "controls/Spreadsheet.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtGlobal>

struct CalcTestOffice {
    // Where LibreOffice is not installed there is nothing to drive: the tests skip.
    static bool Installed() { return PrivateOffice::Installed(); }

    // Finds the helper beside the test program, starts the display and makes the
    // template of these CSV lines. Empty when all is ready, else what is missing.
    QString Prepare(const QStringList &templateLines)
    {
        const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/velkarhub-calc-helper");
        if (!QFileInfo(helper).isExecutable())
            return QStringLiteral("LibreOffice is installed but velkarhub-calc-helper was not built: install libreoffice-dev");
        headless = !display.start();
        if (headless)
            qWarning("No virtual display: the office runs headless, its visibility is not checked");
        if (!office.MakeTemplate(templateLines))
            return QStringLiteral("the office made no template");
        options.helper = helper;
        options.helperArguments = office.HelperArguments(headless);
        options.startMs = 180000;
        options.openMs = 120000;
        options.callMs = 60000;
        return {};
    }

    VirtualDisplay display;
    PrivateOffice office; // ends before the display
    bool headless = false;
    CalcAutomationOptions options;
};
