#pragma once
// Ready replies for a fake module: the answer to each line (without its CR), and what every
// other line gets. "$P0" and "$P1" stand for every settings write of that kind, as in k3316-sim.

#include <QByteArray>
#include <QMap>

struct ModuleScript {
    QMap<QByteArray, QByteArray> answers;
    QByteArray otherwise; // empty: no answer

    QByteArray operator()(const QByteArray &line) const;
    // A copy that answers `line` with `answer` instead.
    ModuleScript with(const QByteArray &line, const QByteArray &answer) const;

    // Configuration mode, firmware 2.05: the probe, the identity, both parameter pages (2.0A,
    // 125K, all zero) and a confirmation of every settings write; anything else gets "?".
    static ModuleScript Configuration();
    // Operation mode: "!R2.05" to the plain probe, nothing to anything else.
    static ModuleScript Operation();
};
