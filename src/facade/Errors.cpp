#include "facade/Trelvan.h"

QVector<Error> Trelvan::getError() {
    QVector<Error> list;
    if (error.code != 0) list.append(error);
    return list;
}

std::vector<std::complex<double>> Trelvan::getData(int) { return {}; }

std::vector<std::complex<double>> Trelvan::getData(double) { return {}; }
