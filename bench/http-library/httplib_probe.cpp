#include <httplib.h>

#include <thread>
int main(int, char** argv) {
    httplib::Server s;
    s.Get("/api/v1/events", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/event-stream", [](size_t, httplib::DataSink& sink) {
            std::string ev = "event: beat\ndata: {}\n\n";
            if (!sink.write(ev.data(), ev.size())) return false;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return true;
        });
    });
    s.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok", "text/plain");
    });
    s.listen("127.0.0.1", atoi(argv[1]));
}
