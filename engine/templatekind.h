#pragma once

#include <QString>
#include <QStringList>

// The numbering is stored nowhere but is the type index of the new-file dialog.
enum TemplateKind {
    CableAttenuation = 0,
    LineTypeDmt = 1,
    LineTypePam = 2,
    AdditiveNoise = 3,
};

// "Cable", "xDSL" or "AddNoise": relative to the working directory.
QString templateDirectory(TemplateKind kind);
// ".att", ".DMT", ".PAM" or ".add".
QString templateExtension(TemplateKind kind);
int templateColumnCount(TemplateKind kind);
// The editor's column captions, in column order.
QStringList templateColumnCaptions(TemplateKind kind);

// How the calculation reads a line-type file: DMT when its name holds ".DMT" (case-sensitive),
// PAM otherwise.
TemplateKind lineTypeKind(const QString &fileName);

// A template's place in the workspace ("Cable/x.att", "xDSL/y.DMT", "AddNoise/z.add"). Cable and
// noise names carry no extension; line-type names carry their own.
QString cableTemplatePath(const QString &name);
QString lineTypeTemplatePath(const QString &fileName);
QString noiseTemplatePath(const QString &name);
