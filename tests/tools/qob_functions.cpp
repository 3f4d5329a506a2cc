// qob_functions: writes the function-coverage list to the file named by its
// argument, or to standard output.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include "function_list.h"

int main(int argc, char** argv) {
    const std::string text = function_list_text();
    FILE* out = stdout;
    if (argc > 1) {
        out = fopen(argv[1], "wb");
        if (!out) {
            fprintf(stderr, "qob_functions: cannot write %s\n", argv[1]);
            return 1;
        }
    } else {
        _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n" in the Markdown file
    }
    fwrite(text.data(), 1, text.size(), out);
    return out == stdout ? 0 : fclose(out) != 0;
}
