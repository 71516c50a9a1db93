#pragma once

#include "InferenceInput.h"
#include "StyleEvaluator.h"

#include <QByteArray>
#include <QVector>

#include <atomic>

// The sources indent could not parse cleanly (an `else` without its `if`, a stray `#endif`, a file that
// ends inside a block). indent formats such a file all the same, but what it makes of it follows its
// confusion rather than any style, so the lines it changes there would steer a search wrongly.
struct ParseScreening
{
    QVector<QByteArray> unparsable; // their paths, in the order of the sources
    QVector<QByteArray> messages;   // indent's error lines about them, each naming the source's path
    bool keptAll = false;           // every source was one of them: they were all kept, nothing else is left
};

// Formats the sources once with indent's own defaults (parse errors do not depend on the layout asked
// for) and takes out of files those indent reported an error for, unless that would leave none. When the
// check itself cannot run (no scratch space, indent failing or stopped) nothing is taken out: the search
// that follows meets the same trouble and says so.
ParseScreening leaveOutUnparsable(QVector<SourceText> *files, const EvaluatorSetup &setup,
                                  const std::atomic_bool &cancel);
