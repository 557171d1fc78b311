// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/form1.h"
#include "app/messagebox.h"
#include "session/transcript.h"
#include "tests/support/pty.h"
#include "tests/support/transcriptfile.h"

#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The window as on a first run, COM3 on a pseudo-terminal, every box recorded instead of
// shown. The members are built in the order they are declared and destroyed in the reverse
// one: the store is emptied and COM3 mapped before the window reads them, and the window,
// open port and all, goes before the pseudo-terminal, so it can never reopen a freed number
// that the system has already handed to someone else.
struct WindowOnPty
{
    // Shows the window and waits until it is on screen.
    [[nodiscard]] bool show();
    // Presses "Open port": true when the port opened and said so, and no box came up.
    [[nodiscard]] bool openPort();
    // Ticks "More settings...": true when the whole panel is on screen.
    [[nodiscard]] bool openPanel();
    // The window's button of that name, as a user finds it by its place.
    [[nodiscard]] QPushButton *button(const QString &name) const;

    // Runs between the pseudo-terminal and the window.
    struct FirstRun
    {
        explicit FirstRun(const PtyPair &pty);
    };

    PtyPair pty;
    FirstRun firstRun{ pty };
    MessageBox::Script script;
    Form1 form;
};

// The port open on COM3, as most suites start. WithPanel: the lists as on a first run, and
// "More settings..." ticked after opening, so that every command button is on screen.
// PickedLists: the user picked " 3" and "19200" from the lists first, so the store holds
// them, and left the panel shut.
struct OpenWindow : WindowOnPty
{
    enum class Start { WithPanel, PickedLists };

    explicit OpenWindow(Start start = Start::WithPanel);
    // Every step went through and no box came up; picked lists are in the store.
    [[nodiscard]] bool ready() const;
    // The store holds the picks of PickedLists.
    [[nodiscard]] bool picksStored() const;

    const Start start;
    bool opened = false;
};

// The window's session from now on, recorded as `korvanet --transcript FILE` records it: the
// header from the lists as they read now, then every event.
struct RecordedSession
{
    explicit RecordedSession(Form1 &form);
    [[nodiscard]] TranscriptFile file() const { return TranscriptFile(path); }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.transcript"));
    Transcript transcript;
};

// "Kind: text" per box, so a wrong kind fails as clearly as a wrong text.
[[nodiscard]] QStringList boxes(const MessageBox::Script &script);
// Every box with the system's reason, for a failure message.
[[nodiscard]] QString boxDetails(const MessageBox::Script &script);
// The signal bar as the user sees it, left to right: R, Y or G for a shown segment, - for a
// hidden one.
[[nodiscard]] QString signalBar(const Form1 &form);
