// qob_functions: writes the function-coverage list, or with --intcontrol
// the IntControl request list, to the file named by its argument, or to
// standard output.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include "function_list.h"
#include "intcontrol_list.h"

int main(int argc, char** argv) {
    int next = 1;
    const bool requests = argc > next && strcmp(argv[next], "--intcontrol") == 0;
    if (requests) ++next;
    const std::string text = requests ? intcontrol_list_text() : function_list_text();
    FILE* out = stdout;
    if (argc > next) {
        out = fopen(argv[next], "wb");
        if (!out) {
            fprintf(stderr, "qob_functions: cannot write %s\n", argv[next]);
            return 1;
        }
    } else {
        _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n" in the Markdown file
    }
    fwrite(text.data(), 1, text.size(), out);
    return out == stdout ? 0 : fclose(out) != 0;
}
