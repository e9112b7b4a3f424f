#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::fputs("Tolvane: the main window is not available in this build yet.\n", stdout);
    return 0;
}
