#include "app/QuillmereApplication.h"

int main(int argc, char *argv[])
{
    TQuillmereApplication app(argc, argv);
    return 0;
}
