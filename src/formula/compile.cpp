// The reader and compiler of formulas: text to tokens, tokens to a graph of
// nodes (identical terms merged, terms of constants folded where that cannot
// fault), the graph to a program in stages.
#include "formula/formula.h"
#include "formula/program.h"

#include "math/math.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>

namespace glimra::formula {

std::string Error::text() const
{
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

namespace {

constexpr int kFaultFlags = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

struct Refusal {
    Error error;
};

struct Place {
    int line = 1, column = 1;
};

[[noreturn]] void refuse(Place at, std::string message)
{
    throw Refusal{Error{at.line, at.column, std::move(message)}};
}

enum class Tok { Number, Name, Plus, Minus, Times, Divide, Power, Open, Close, Assign, End, EndOfStatement };

struct Token {
    Tok kind = Tok::End;
    std::string_view text;
    Place at;
};

bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

// A name as a message shows it: never more than a few dozen characters.
std::string quoted(std::string_view s)
{
    std::string q(1, '\'');
    q.append(s.substr(0, 32));
    q.append(s.size() > 32 ? "...'" : "'");
    return q;
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // The next token; a line break is an end of statement only where
    // `breaksCount` (outside parentheses).
    Token next(bool breaksCount)
    {
        for (;;) {
            skipBlanks();
            if (pos_ >= text_.size())
                return {Tok::End, {}, here()};
            const char c = text_[pos_];
            if (c == '\n') {
                const Token t{Tok::EndOfStatement, text_.substr(pos_, 1), here()};
                advance(1);
                ++line_;
                column_ = 1;
                if (breaksCount)
                    return t;
                continue;
            }
            const Place at = here();
            if (c == ';') {
                advance(1);
                return {Tok::EndOfStatement, text_.substr(pos_ - 1, 1), at};
            }
            if (digit(c) || (c == '.' && pos_ + 1 < text_.size() && digit(text_[pos_ + 1])))
                return number(at);
            if (letter(c)) {
                const std::size_t start = pos_;
                while (pos_ < text_.size() && (letter(text_[pos_]) || digit(text_[pos_])))
                    advance(1);
                return {Tok::Name, text_.substr(start, pos_ - start), at};
            }
            Tok kind;
            switch (c) {
            case '+': kind = Tok::Plus; break;
            case '-': kind = Tok::Minus; break;
            case '*': kind = Tok::Times; break;
            case '/': kind = Tok::Divide; break;
            case '^': kind = Tok::Power; break;
            case '(': kind = Tok::Open; break;
            case ')': kind = Tok::Close; break;
            case '=': kind = Tok::Assign; break;
            default:
                if (c > ' ' && c < 127)
                    refuse(at, std::string("the character '") + c + "' has no meaning in a formula");
                refuse(at, "a character that has no meaning in a formula (only comments may hold any text)");
            }
            advance(1);
            return {kind, text_.substr(pos_ - 1, 1), at};
        }
    }

private:
    Place here() const { return {line_, column_}; }

    void advance(std::size_t n)
    {
        for (std::size_t k = 0; k < n; ++k, ++pos_)
            // A character is counted once, at its first byte.
            if ((static_cast<unsigned char>(text_[pos_]) & 0xC0) != 0x80)
                ++column_;
    }

    void skipBlanks()
    {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                advance(1);
            } else if (c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    advance(1);
            } else {
                return;
            }
        }
    }

    Token number(Place at)
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && digit(text_[pos_]))
            advance(1);
        if (pos_ < text_.size() && text_[pos_] == '.') {
            advance(1);
            while (pos_ < text_.size() && digit(text_[pos_]))
                advance(1);
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            advance(1);
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                advance(1);
            if (!(pos_ < text_.size() && digit(text_[pos_])))
                refuse(here(), "digits were expected in the number's exponent");
            while (pos_ < text_.size() && digit(text_[pos_]))
                advance(1);
        }
        if (pos_ < text_.size() && (letter(text_[pos_]) || digit(text_[pos_]) || text_[pos_] == '.'))
            refuse(here(), "a number ends here: write an operator between a number and what follows");
        return {Tok::Number, text_.substr(start, pos_ - start), at};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1, column_ = 1;
};

enum class Name { Parameter, Function, Value };

struct Binding {
    std::uint32_t node = 0;
    Place at;
};

// The names a formula reads without giving them values.
const std::map<std::string_view, Op> kGiven = {
    {"x", Op::X},           {"y", Op::Y},       {"size", Op::Size}, {"S", Op::Size}, {"zoom", Op::Zoom},
    {"bright", Op::Bright}, {"N", Op::Columns}, {"i", Op::I},       {"j", Op::J},    {"K", Op::Const},
};
const std::map<std::string_view, Op> kFunctions = {
    {"sin", Op::Sin}, {"cos", Op::Cos}, {"tan", Op::Tan}, {"abs", Op::Abs}, {"texthalf", Op::TextHalf},
};
constexpr const char* kRequired[] = {"x0", "y0", "red", "green", "blue"};

// The graph as it is read: every node once (a node that would repeat an
// existing one is that one), operands before users.
class Graph {
public:
    std::vector<Node> nodes;
    std::vector<Stage> stage;

    std::uint32_t leaf(Op op, double value = 0) { return intern({op, 0, 0, value}); }

    std::uint32_t make(Op op, std::uint32_t a, std::uint32_t b = 0)
    {
        // a + b and b + a, a x b and b x a are the same double.
        if ((op == Op::Add || op == Op::Mul) && b < a)
            std::swap(a, b);
        Node n{op, a, b, 0};
        const bool constants = nodes[a].op == Op::Const && (!binary(op) || nodes[b].op == Op::Const);
        if (constants) {
            // Folded only where computing it now gives the very value the
            // render would, without a fault; a faulting term stays in the
            // program and faults where it is evaluated.
            std::feclearexcept(kFaultFlags);
            const double v = apply(n, nodes[a].value, binary(op) ? nodes[b].value : 0);
            if (!std::fetestexcept(kFaultFlags))
                return leaf(Op::Const, v);
        }
        return intern(n);
    }

private:
    std::uint32_t intern(const Node& n)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &n.value, sizeof bits);
        const auto key = std::make_tuple(n.op, n.a, n.b, bits);
        const auto found = index_.find(key);
        if (found != index_.end())
            return found->second;
        const std::uint32_t id = std::uint32_t(nodes.size());
        nodes.push_back(n);
        Stage s = kRender;
        if (n.op == Op::I)
            s = kColumn;
        else if (n.op == Op::J)
            s = kRow;
        else if (binary(n.op))
            s = Stage(stage[n.a] | stage[n.b]);
        else if (unary(n.op))
            s = stage[n.a];
        stage.push_back(s);
        index_.emplace(key, id);
        return id;
    }

    std::map<std::tuple<Op, std::uint32_t, std::uint32_t, std::uint64_t>, std::uint32_t> index_;
};

class Parser {
public:
    explicit Parser(std::string_view text) : lexer_(text) {}

    Graph graph;
    std::map<std::string, Binding, std::less<>> values;

    void formula()
    {
        advance();
        for (;;) {
            if (tok_.kind == Tok::End)
                break;
            if (tok_.kind == Tok::EndOfStatement) {
                advance();
                continue;
            }
            statement();
        }
        for (const char* name : kRequired)
            if (!values.count(name))
                refuse(tok_.at,
                       std::string(name) + " is never given a value; a formula gives x0, y0, red, green and blue");
    }

private:
    void advance()
    {
        previous_ = tok_;
        tok_ = lexer_.next(open_ == 0);
    }

    void statement()
    {
        if (tok_.kind != Tok::Name)
            refuse(tok_.at, "a name was expected at the start of a statement, as in 'c = a + b'");
        const Token name = tok_;
        if (kGiven.count(name.text))
            refuse(name.at, quoted(name.text) + " is given by the frame and cannot be given a value");
        if (kFunctions.count(name.text))
            refuse(name.at, quoted(name.text) + " is a function and cannot be given a value");
        if (const auto earlier = values.find(name.text); earlier != values.end())
            refuse(name.at, quoted(name.text) + " already has a value, given on line " +
                                std::to_string(earlier->second.at.line));
        advance();
        if (tok_.kind != Tok::Assign)
            refuse(tok_.at, "'=' was expected after " + quoted(name.text));
        advance();
        depth_ = 0;
        const std::uint32_t v = expression(tok_.at);
        if (tok_.kind == Tok::Close)
            refuse(tok_.at, "this ')' closes no '('");
        if (tok_.kind != Tok::EndOfStatement && tok_.kind != Tok::End)
            refuse(tok_.at, "an operator or the end of the line was expected");
        if ((name.text == "x0" || name.text == "y0") && graph.stage[v] != kRender)
            refuse(name.at, std::string(name.text) + " is fixed before the scan: it cannot depend on i or j");
        values.emplace(std::string(name.text), Binding{v, name.at});
    }

    // One level deeper into the text; refused beyond the bound, before any
    // recursion can go deeper.
    struct Deeper {
        Parser& p;
        Deeper(Parser& parser, Place at) : p(parser)
        {
            if (++p.depth_ > kMaxDepth)
                refuse(at, "the formula nests more than " + std::to_string(kMaxDepth) +
                               " deep (parentheses, calls, signs and powers)");
        }
        ~Deeper() { --p.depth_; }
    };

    void term(Place at)
    {
        if (++terms_ > kMaxTerms)
            refuse(at, "the formula has more than " + std::to_string(kMaxTerms) + " terms");
    }

    // `at`: where this level of nesting opens.
    std::uint32_t expression(Place at)
    {
        Deeper deeper(*this, at);
        return leftToRight(&Parser::product, Tok::Plus, Op::Add, Tok::Minus, Op::Sub);
    }

    std::uint32_t product() { return leftToRight(&Parser::signed_, Tok::Times, Op::Mul, Tok::Divide, Op::Div); }

    // Operands joined by two operators of one precedence, grouped from the
    // left: a - b + c is (a - b) + c.
    std::uint32_t leftToRight(std::uint32_t (Parser::*operand)(), Tok one, Op oneOp, Tok other, Op otherOp)
    {
        std::uint32_t v = (this->*operand)();
        while (tok_.kind == one || tok_.kind == other) {
            const Token op = tok_;
            term(op.at);
            advance();
            const std::uint32_t r = (this->*operand)();
            v = graph.make(op.kind == one ? oneOp : otherOp, v, r);
        }
        return v;
    }

    // A sign applies to the power after it: -a ^ 2 is -(a ^ 2).
    std::uint32_t signed_() { return signs(&Parser::power); }

    // An exponent may carry signs, not a further power: 2 ^ -a.
    std::uint32_t exponent_() { return signs(&Parser::primary); }

    std::uint32_t signs(std::uint32_t (Parser::*operand)())
    {
        if (tok_.kind != Tok::Minus)
            return (this->*operand)();
        const Token minus = tok_;
        Deeper deeper(*this, minus.at);
        term(minus.at);
        advance();
        return graph.make(Op::Neg, signs(operand));
    }

    std::uint32_t power()
    {
        const std::uint32_t base = primary();
        if (tok_.kind != Tok::Power)
            return base;
        const Token op = tok_;
        Deeper deeper(*this, op.at);
        term(op.at);
        advance();
        const std::uint32_t exponent = exponent_();
        if (tok_.kind == Tok::Power)
            refuse(tok_.at, "a power of a power needs parentheses: (a ^ b) ^ c or a ^ (b ^ c)");
        return graph.make(Op::Pow, base, exponent);
    }

    [[noreturn]] void valueExpected()
    {
        if (previous_.kind == Tok::End)
            refuse(tok_.at, "a value was expected");
        refuse(tok_.at, "a value was expected after " + quoted(previous_.text));
    }

    std::uint32_t primary()
    {
        const Token t = tok_;
        switch (t.kind) {
        case Tok::Number: {
            term(t.at);
            double v = 0;
            const auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
            if (ec != std::errc() || end != t.text.data() + t.text.size() || !std::isfinite(v))
                refuse(t.at, "the number " + quoted(t.text) + " is beyond the range of doubles");
            advance();
            return graph.leaf(Op::Const, v);
        }
        case Tok::Open: {
            ++open_;
            advance();
            const std::uint32_t v = expression(t.at);
            if (tok_.kind != Tok::Close)
                refuse(tok_.at, tok_.kind == Tok::End ? "')' was expected before the end of the formula"
                                                      : "')' or an operator was expected");
            --open_;
            advance();
            return v;
        }
        case Tok::Name: return name(t);
        default: valueExpected();
        }
    }

    std::uint32_t name(const Token& t)
    {
        term(t.at);
        if (const auto f = kFunctions.find(t.text); f != kFunctions.end()) {
            advance();
            if (tok_.kind != Tok::Open)
                refuse(tok_.at, "'(' was expected after the function " + quoted(t.text));
            const Place open = tok_.at;
            ++open_;
            advance();
            const std::uint32_t arg = expression(open);
            if (tok_.kind != Tok::Close)
                refuse(tok_.at, tok_.kind == Tok::End ? "')' was expected before the end of the formula"
                                                      : "')' or an operator was expected");
            --open_;
            advance();
            if (f->second == Op::TextHalf && graph.stage[arg] != kRender)
                refuse(t.at, "texthalf takes only values fixed before the scan, not i, j or what depends on them");
            return graph.make(f->second, arg);
        }
        advance();
        if (tok_.kind == Tok::Open)
            refuse(t.at, quoted(t.text) + " is not a function; the functions are sin, cos, tan, abs and texthalf");
        if (const auto g = kGiven.find(t.text); g != kGiven.end())
            return g->second == Op::Const ? graph.leaf(Op::Const, K) : graph.leaf(g->second);
        if (const auto v = values.find(t.text); v != values.end())
            return v->second.node;
        refuse(t.at, quoted(t.text) + " has no value here: give it one on a line above");
    }

    Lexer lexer_;
    Token tok_, previous_;
    int open_ = 0;  // parentheses open: line breaks inside them continue the statement
    int depth_ = 0;
    int terms_ = 0;
};

Place placeOfByte(std::string_view text, std::size_t n)
{
    Place at;
    for (std::size_t k = 0; k < n && k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++at.line;
            at.column = 1;
        } else if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
            ++at.column;
        }
    }
    return at;
}

// The program from the graph: only what a result needs, in stages, the
// pixel stage's arrays reused as soon as their values are no longer read.
std::unique_ptr<Program> lower(const Graph& g, const std::map<std::string, Binding, std::less<>>& values)
{
    const auto node = [&](const char* name) -> std::int64_t {
        const auto v = values.find(name);
        return v == values.end() ? -1 : std::int64_t(v->second.node);
    };
    const std::size_t n = g.nodes.size();
    std::vector<char> live(n, 0);
    std::vector<std::int64_t> roots;
    for (const char* name : kRequired)
        roots.push_back(node(name));
    // Z and B, fixed before the scan, tell navigation the zoom and brightness
    // factors.
    std::int64_t zoomFactor = node("Z"), brightFactor = node("B");
    if (zoomFactor >= 0 && g.stage[std::size_t(zoomFactor)] != kRender)
        zoomFactor = -1;
    if (brightFactor >= 0 && g.stage[std::size_t(brightFactor)] != kRender)
        brightFactor = -1;
    roots.push_back(zoomFactor);
    roots.push_back(brightFactor);
    for (const std::int64_t r : roots)
        if (r >= 0)
            live[std::size_t(r)] = 1;
    for (std::size_t k = n; k-- > 0;) {
        if (!live[k])
            continue;
        const Node& x = g.nodes[k];
        if (binary(x.op) || unary(x.op))
            live[x.a] = 1;
        if (binary(x.op))
            live[x.b] = 1;
    }

    auto p = std::make_unique<Program>();
    std::vector<std::uint32_t> renumber(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        if (!live[k])
            continue;
        Node x = g.nodes[k];
        x.a = renumber[x.a];
        x.b = renumber[x.b];
        renumber[k] = std::uint32_t(p->nodes.size());
        p->nodes.push_back(x);
        p->stage.push_back(g.stage[k]);
    }
    const auto renumbered = [&](std::int64_t id) -> std::int64_t {
        return id < 0 ? std::int64_t(-1) : std::int64_t(renumber[std::size_t(id)]);
    };
    const std::uint32_t colours[3] = {std::uint32_t(renumbered(node("red"))), std::uint32_t(renumbered(node("green"))),
                                      std::uint32_t(renumbered(node("blue")))};
    for (int c = 0; c < 3; ++c)
        p->colours[c] = colours[c];
    p->x0 = std::uint32_t(renumbered(node("x0")));
    p->y0 = std::uint32_t(renumbered(node("y0")));
    p->zoomFactor = renumbered(zoomFactor);
    p->brightFactor = renumbered(brightFactor);

    // What the scan reads: the values of later stages and the colours, and
    // every per-render value they are made from.
    const std::size_t m = p->nodes.size();
    std::vector<char> scanNeeds(m, 0), asPixelOperand(m, 0);
    std::vector<std::size_t> lastUse(m, 0);
    constexpr std::size_t kForever = ~std::size_t(0);
    for (const std::uint32_t c : colours) {
        scanNeeds[c] = 1;
        lastUse[c] = kForever;
        asPixelOperand[c] = 1;
    }
    for (std::size_t k = m; k-- > 0;) {
        const Node& x = p->nodes[k];
        if (p->stage[k] != kRender)
            scanNeeds[k] = 1;
        if (!scanNeeds[k] || !(binary(x.op) || unary(x.op)))
            continue;
        scanNeeds[x.a] = 1;
        if (binary(x.op))
            scanNeeds[x.b] = 1;
        if (p->stage[k] == kPixel) {
            asPixelOperand[x.a] = 1;
            if (binary(x.op))
                asPixelOperand[x.b] = 1;
        }
    }
    std::vector<std::uint32_t> rowTerm(m, 0);
    for (std::uint32_t k = 0; k < m; ++k) {
        switch (p->stage[k]) {
        case kRender:
            if (scanNeeds[k])
                p->render.push_back(k);
            break;
        case kColumn: p->column.push_back(k); break;
        case kRow:
            p->row.push_back(k);
            if (asPixelOperand[k]) {
                rowTerm[k] = std::uint32_t(p->rowTerms.size());
                p->rowTerms.push_back(k);
            }
            break;
        case kPixel: break;
        }
    }

    // The pixel stage, in order; a step's number is its place in it.
    std::vector<std::size_t> stepOf(m, 0);
    std::size_t steps = 0;
    for (std::uint32_t k = 0; k < m; ++k)
        if (p->stage[k] == kPixel)
            stepOf[k] = steps++;
    for (std::uint32_t k = 0; k < m; ++k) {
        if (p->stage[k] != kPixel)
            continue;
        const Node& x = p->nodes[k];
        for (const std::uint32_t o : {x.a, binary(x.op) ? x.b : x.a})
            if (p->stage[o] == kPixel && lastUse[o] != kForever)
                lastUse[o] = std::max(lastUse[o], stepOf[k]);
    }
    std::vector<std::uint32_t> slotOf(m, 0), freeSlots;
    const auto operand = [&](std::uint32_t o) {
        switch (p->stage[o]) {
        case kRow: return Operand{Operand::RowTerm, rowTerm[o]};
        case kPixel: return Operand{Operand::Slot, slotOf[o]};
        default: return Operand{Operand::Scalar, o};
        }
    };
    for (std::uint32_t k = 0; k < m; ++k) {
        if (p->stage[k] != kPixel)
            continue;
        const Node& x = p->nodes[k];
        Step s{x.op, operand(x.a), binary(x.op) ? operand(x.b) : Operand{}, 0};
        // An operand read for the last time gives its array back before the
        // result takes one: each step reads a row before it writes it.
        if (p->stage[x.a] == kPixel && lastUse[x.a] == stepOf[k])
            freeSlots.push_back(slotOf[x.a]);
        if (binary(x.op) && x.b != x.a && p->stage[x.b] == kPixel && lastUse[x.b] == stepOf[k])
            freeSlots.push_back(slotOf[x.b]);
        if (freeSlots.empty()) {
            slotOf[k] = p->slots++;
        } else {
            slotOf[k] = freeSlots.back();
            freeSlots.pop_back();
        }
        s.out = slotOf[k];
        p->pixel.push_back(s);
    }
    p->red = operand(colours[0]);
    p->green = operand(colours[1]);
    p->blue = operand(colours[2]);
    return p;
}

}  // namespace

double apply(const Node& n, double a, double b)
{
    switch (n.op) {
    case Op::Add: return a + b;
    case Op::Sub: return a - b;
    case Op::Mul: return a * b;
    case Op::Div: return a / b;
    case Op::Pow: return math::pow(a, b);
    case Op::Neg: return -a;
    case Op::Abs: return std::fabs(a);
    case Op::Sin: return math::sin(a);
    case Op::Cos: return math::cos(a);
    case Op::Tan: return math::tan(a);
    case Op::TextHalf:
        if (std::isfinite(a))
            return halfViaText(a);
        // A value with no text form: as invalid as 0 / 0.
        std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    default: return n.value;
    }
}

double evaluateNode(const Program& p, std::uint32_t k, const double* params, double i, double j, const double* values)
{
    const Node& n = p.nodes[k];
    switch (n.op) {
    case Op::Const: return n.value;
    case Op::X: return params[0];
    case Op::Y: return params[1];
    case Op::Size: return params[2];
    case Op::Zoom: return params[3];
    case Op::Bright: return params[4];
    case Op::Columns: return columnsFor(params[2]);
    case Op::I: return i;
    case Op::J: return j;
    default: return apply(n, values[n.a], binary(n.op) ? values[n.b] : 0);
    }
}

void evaluateAll(const Program& p, const double* params, double i, double j, double* values)
{
    for (std::uint32_t k = 0; k < p.nodes.size(); ++k)
        values[k] = evaluateNode(p, k, params, i, j, values);
}

std::unique_ptr<Program> compileProgram(std::string_view text, Error& error)
{
    try {
        if (text.size() > kMaxBytes)
            refuse(placeOfByte(text, kMaxBytes),
                   "the formula is longer than " + std::to_string(kMaxBytes) + " bytes; it is read no further");
        Parser parser(text);
        parser.formula();
        return lower(parser.graph, parser.values);
    } catch (const Refusal& r) {
        error = r.error;
        return nullptr;
    }
}

}  // namespace glimra::formula
