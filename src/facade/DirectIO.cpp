#include "facade/Trelvan.h"

int Trelvan::ReadBuf(std::string& reply, unsigned int, unsigned long&) {
    reply.clear();
    return -1;
}

int Trelvan::ReadBufFloat(std::vector<double>& values, unsigned int, unsigned long&) {
    values.clear();
    return -1;
}

int Trelvan::ReadBufFloat(QVector<IQ_Elem>*, unsigned int, int&) { return -1; }

double Trelvan::ReadComplexValue(const unsigned char*, unsigned int, unsigned int, bool, unsigned int,
                                 unsigned int) {
    return 0.0;
}

int Trelvan::OPCquery() { return VI_ERROR_TMO; }

int Trelvan::OPC() { return OPCquery(); }

std::string Trelvan::getErrors(int) { return std::string(); }

std::string Trelvan::CustomCommand(std::string, bool) { return std::string(); }
