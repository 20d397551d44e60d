#include "engine/templatekind.h"

QString templateDirectory(TemplateKind kind)
{
    switch (kind) {
    case CableAttenuation: return QStringLiteral("Cable");
    case LineTypeDmt:
    case LineTypePam: return QStringLiteral("xDSL");
    case AdditiveNoise: return QStringLiteral("AddNoise");
    }
    return {};
}

QString templateExtension(TemplateKind kind)
{
    switch (kind) {
    case CableAttenuation: return QStringLiteral(".att");
    case LineTypeDmt: return QStringLiteral(".DMT");
    case LineTypePam: return QStringLiteral(".PAM");
    case AdditiveNoise: return QStringLiteral(".add");
    }
    return {};
}

int templateColumnCount(TemplateKind kind)
{
    return templateColumnCaptions(kind).size();
}

QStringList templateColumnCaptions(TemplateKind kind)
{
    switch (kind) {
    case CableAttenuation:
        return {QStringLiteral("F, кГц"), QStringLiteral("a, дБ/км")};
    case LineTypeDmt:
        return {QStringLiteral("F, кГц"), QStringLiteral("S, дБм/Гц"), QStringLiteral("Kmax"),
                QStringLiteral("N, дБм/Гц")};
    case LineTypePam:
        return {QStringLiteral("K"), QStringLiteral("P, дБм"), QStringLiteral("Rmin, кбит/с"),
                QStringLiteral("Rmax, кбит/с"), QStringLiteral("N, дБм/Гц")};
    case AdditiveNoise:
        return {QStringLiteral("F, кГц"), QStringLiteral("N, дБм/Гц")};
    }
    return {};
}

TemplateKind lineTypeKind(const QString &fileName)
{
    return fileName.contains(templateExtension(LineTypeDmt)) ? LineTypeDmt : LineTypePam;
}

QString cableTemplatePath(const QString &name)
{
    return templateDirectory(CableAttenuation) + QLatin1Char('/') + name + templateExtension(CableAttenuation);
}

QString lineTypeTemplatePath(const QString &fileName)
{
    return templateDirectory(LineTypeDmt) + QLatin1Char('/') + fileName;
}

QString noiseTemplatePath(const QString &name)
{
    return templateDirectory(AdditiveNoise) + QLatin1Char('/') + name + templateExtension(AdditiveNoise);
}
