#pragma once
// Reading one command's arguments: the positionals told apart from the options, and each option's
// value checked by its kind (a number by its rule, a choice, a list of names) into the settings the
// command stores; the first refusal makes the command invalid, with its message.

#include "cli/command.h"

#include <QStringList>

struct NumberRule;

struct ArgumentReader {
    QStringList args;
    qsizetype at = 0;
    Command& command;

    bool more() const { return at < args.size(); }
    QString next() { return args.value(at++); }
    bool fail(const QString& message);
    // The value as given: credentials, which may hold blanks of their own.
    bool rawValue(const QString& option, QString& out);
    // Any other value, without blanks and line breaks around it (a value pasted with them).
    bool value(const QString& option, QString& out);
    // A number by its rule, as the window's box takes it, except that a fraction of a count is
    // refused rather than rounded: a script means the number it wrote.
    bool number(const QString& option, const NumberRule& rule);
    // A choice among a few small numbers, full-width digits read as the others.
    bool choice(const QString& option, const QString& key, const QStringList& choices, const QString& refusal);
    bool list(const QString& option, const QString& key);
    void flag(const QString& key, bool on);
};

// Separates the positionals from the options, which may stand anywhere after the command; "--"
// makes every later argument a positional (a folder named "--x"). The options keep their order,
// each value right after its option; a positional is taken without blanks around it.
bool SplitArguments(ArgumentReader& r, const QStringList& valueOptions, QStringList& positionals, QStringList& options);
// Refuses a positional beyond the first allowed ones.
bool NoMorePositionals(ArgumentReader& r, const QStringList& positionals, qsizetype allowed);
