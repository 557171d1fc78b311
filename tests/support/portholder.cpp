// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/portholder.h"

#include <QFile>

PortHolder::PortHolder(const QString &device, const QString &name)
{
    const QString program = m_dir.filePath(name);
    if (!QFile::copy(QStringLiteral(KORVANET_HOLDPORT), program)) {
        m_error = QStringLiteral("cannot copy korvanet_holdport to %1").arg(program);
        return;
    }
    m_process.start(program, { device });
    m_holds = m_process.waitForReadyRead(5000) && m_process.readLine() == "open\n";
    if (!m_holds)
        m_error = QString::fromLocal8Bit(m_process.readAllStandardError());
}

PortHolder::~PortHolder()
{
    if (!letGo())
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool PortHolder::letGo()
{
    // It holds the device until its standard input closes.
    m_process.closeWriteChannel();
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(5000);
}
