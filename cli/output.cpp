#include "cli/output.h"

#include <QJsonDocument>
#include <cstdio>

void print_json(const QJsonObject& object) {
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}

void print_json(const QJsonArray& array) {
    const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}

text_table::text_table(QStringList headings) {
    rows_.push_back(std::move(headings));
}

void text_table::add_row(QStringList cells) {
    rows_.push_back(std::move(cells));
}

void text_table::print() const {
    std::vector<qsizetype> widths;
    for (const auto& row : rows_)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (static_cast<size_t>(i) >= widths.size()) widths.push_back(0);
            widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], row[i].size());
        }
    for (const auto& row : rows_) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i) line += "  ";
            line += i + 1 < row.size() ? row[i].leftJustified(widths[static_cast<size_t>(i)]) : row[i];
        }
        std::printf("%s\n", line.toLocal8Bit().constData());
    }
}
