#pragma once
// The polled scan-thread interface every engine offers. Engines declare no signals: the page
// learns that a scan ended from the thread's own finished notification.
#include <QString>
#include <QThread>
#include <cstdint>
#include <string>

#include "devices/volume_list.h"
#include "engines/recovery_item.h"

class recovery_base_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;

    virtual void set_volume(const volume_item_s& volume) = 0;
    virtual double progress() = 0;
    virtual void set_progress(double value) = 0;
    virtual void set_stop(int code) = 0;
    virtual int stop() { return 1; }
    virtual int pause() = 0;
    virtual void set_pause(int flag) = 0;
    virtual uint64_t scanned_count() = 0;
    virtual void reset() = 0;
    virtual int extract(uint64_t id, const QString& target_path) = 0;
    virtual int full_path(uint64_t id, QString& out) {
        (void)id;
        (void)out;
        return 0;
    }
    virtual uint64_t found_count() { return 0; }

protected:
    void run() override { QThread::run(); }
};

// The idle engine: stopped, empty, never started.
class recovery_stop_c : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;

    void set_volume(const volume_item_s&) override {}
    double progress() override { return 0.0; }
    void set_progress(double) override {}
    void set_stop(int) override {}
    int stop() override { return 1; }
    int pause() override { return 0; }
    void set_pause(int) override {}
    uint64_t scanned_count() override { return 0; }
    void reset() override {}
    int extract(uint64_t, const QString&) override { return 0; }
};

// Registers recovery_item_s with the meta-type system (once; harmless again).
void register_engine_meta_types();
