# The misbehaving clients of bench/http-library/README.md.
import socket, sys, time, os, select
host='127.0.0.1'; port=int(sys.argv[1]); pid=int(sys.argv[2]); path=sys.argv[3] if len(sys.argv)>3 else '/api/v1/events'
def status(pid):
    d={}
    for l in open(f'/proc/{pid}/status'):
        k,_,v=l.partition(':'); d[k]=v.strip()
    return int(d['Threads']), int(d['VmRSS'].split()[0])//1024
mode=sys.argv[4] if len(sys.argv)>4 else 'all'
print('before: threads %d, RSS %d MB' % status(pid))
socks=[]
if mode=='abuse': socks=None
for i in (range(200) if socks is not None else []):
    s=socket.socket(); s.connect((host,port)); s.sendall(f'GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n'.encode()); s.setblocking(False); socks.append(s)
time.sleep(5 if socks is not None else 0)
got=0
for s in (socks or []):
    try:
        data=s.recv(65536)
        if b'event:' in data: got+=1
    except BlockingIOError: pass
print('200 streams: %d got an event within the wait; threads %d, RSS %d MB' % ((got,)+status(pid)))
# another client meanwhile
t=time.time(); c=socket.create_connection((host,port),timeout=10); c.sendall(b'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n')
try:
    r=c.recv(100); print('a plain request meanwhile: %r in %.2f s' % (r[:15], time.time()-t))
except Exception as e: print('a plain request meanwhile: no answer (%s) after %.1f s' % (e, time.time()-t))
for s in (socks or []): s.close()
# slow headers
s=socket.create_connection((host,port)); s.sendall(b'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ')
t=time.time(); closed=None
while time.time()-t<60:
    try:
        s.sendall(b'a'); 
        r,_,_=select.select([s],[],[],2)
        if r and s.recv(100)==b'': closed=time.time()-t; break
    except OSError: closed=time.time()-t; break
print("a header byte every 2 s: %s" % ('dropped after %.0f s' % closed if closed else 'still connected after 60 s'))
# big header
s=socket.create_connection((host,port)); s.sendall(b'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: ')
sent=0; t=time.time()
try:
    while sent < 100*1024*1024 and time.time()-t<30:
        s.settimeout(5); s.sendall(b'a'*65536); sent+=65536
    print('100 MB of one header: all taken, RSS now %d MB' % status(pid)[1])
except OSError as e:
    alive=os.path.exists(f'/proc/{pid}/status')
    print('one header without end: refused after %d kB (%s); server %s' % (sent//1024, e.__class__.__name__, ('alive, RSS %d MB' % status(pid)[1]) if alive else 'GONE (crashed)'))
