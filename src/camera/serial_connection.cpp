#include "camera/serial_connection.h"

#include "camera/clserial_ctl.h"
#include "lib/clserial.h"

SerialConnection::SerialConnection(Log& log) : log_(log) {}

SerialConnection::~SerialConnection() = default;

void SerialConnection::search()
{
    if (ports_) earlier_ports_.push_back(std::move(ports_));
    ports_ = open_clser(log_);
}

void SerialConnection::choose(const String& name) { chosen_ = ports_->find(name); }

bool SerialConnection::open()
{
    try {
        chosen_->serial->open(chosen_->index);
    } catch (int code) {
        if (code != clser_open_failed) throw;
        return false;
    }
    ctl_.reset(new CLSerial_CTL(*chosen_, log_));
    return true;
}

IPort* SerialConnection::port() const { return ctl_.get(); }

void SerialConnection::close()
{
    ctl_.reset();
    chosen_->serial->close();
}
