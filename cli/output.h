#pragma once
// Result output: JSON documents and plain text tables on standard output.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

void print_json(const QJsonObject& object);
void print_json(const QJsonArray& array);

// A text table with a heading row; columns are padded to their widest cell.
class text_table {
public:
    explicit text_table(QStringList headings);
    void add_row(QStringList cells);
    void print() const;

private:
    std::vector<QStringList> rows_;
};
