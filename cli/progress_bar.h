#pragma once
// A progress bar on standard error, drawn only when standard error is a terminal.
#include <string>

class progress_bar_c {
public:
    explicit progress_bar_c(std::string label);
    ~progress_bar_c();
    void update(double fraction, const std::string& detail = {});
    void finish();

private:
    std::string label_;
    bool terminal_;
    bool drawn_ = false;
    int last_permille_ = -1;
};
