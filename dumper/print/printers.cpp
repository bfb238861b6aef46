#include "print/printer.h"

std::unique_ptr<DumpPrinter> make_dump_printer(const PrintContext& context)
{
    switch (context.options.format) {
    case OutputFormat::Jsonl: return make_jsonl_printer(context);
    case OutputFormat::Csv: return make_csv_printer(context);
    case OutputFormat::Text: break;
    }
    return make_text_printer(context);
}

std::unique_ptr<RowPrinter> make_row_printer(const PrintContext& context)
{
    return context.options.format == OutputFormat::Csv ? make_csv_row_printer(context)
                                                       : make_jsonl_row_printer(context);
}
